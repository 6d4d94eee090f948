// The page's service worker: keeps every file of one build in a cache named by that
// build, answers the page from it (so the show plays with no network), and on a new
// build fills a new cache beside the old one, so that a page never gets files of two
// builds. build-web writes the build below: its id and each file's SHA-256.
'use strict';
const build = {/* written by build-web */};
const cacheName = 'kavlo-' + build.id;

// The files this engine's page fetches: the gzipped copies where it unpacks gzip.
function wanted() {
  const gzip = 'DecompressionStream' in self;
  return build.page.concat(build.downloads.map((name) => (gzip ? name + '.gz' : name)));
}

function hex(buffer) {
  return Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
}

// Each file as the server has it now, checked against this build's hash: a server
// updated while this runs fails the install (the old build stays) rather than mixing.
self.addEventListener('install', (event) => {
  event.waitUntil((async () => {
    const cache = await caches.open(cacheName);
    await Promise.all(wanted().map(async (name) => {
      const response = await fetch(name, { cache: 'no-cache' });
      if (!response.ok) throw new Error(name + ': HTTP ' + response.status);
      const digest = hex(await crypto.subtle.digest('SHA-256', await response.clone().arrayBuffer()));
      if (digest !== build.sha256[name]) throw new Error(name + ' is not the file of build ' + build.id);
      await cache.put(name, response);
    }));
  })().catch(async (e) => {
    await caches.delete(cacheName);
    throw e;
  }));
});

// The first visit's page is taken over at once; a new build waits for the page to hand
// over (it does before its show starts) or for the next visit.
self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys()) {
      if (name.startsWith('kavlo-') && name !== cacheName) await caches.delete(name);
    }
    await self.clients.claim();
  })());
});

self.addEventListener('message', (event) => {
  if (event.data === 'take-over') self.skipWaiting();
});

// The build's files from its cache, whatever the query (?t= is the page's); the page
// itself for the folder. Anything else goes to the network.
self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET') return;
  const url = new URL(request.url);
  const scope = new URL(self.registration.scope);
  if (url.origin !== scope.origin || !url.pathname.startsWith(scope.pathname)) return;
  let name = decodeURIComponent(url.pathname.slice(scope.pathname.length));
  if (name === '') name = 'index.html';
  if (!(name in build.sha256)) return;
  event.respondWith(caches.open(cacheName)
    .then((cache) => cache.match(name))
    .then((cached) => cached || fetch(request)));
});
