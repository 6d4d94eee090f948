// The page's files over HTTP on a free port of localhost, as a plain static server
// sends them, with two faults a test can ask for: the network cut (the server stops
// listening and drops its connections, then comes back on the same port) and one file
// missing (404).
import { readFile, stat } from 'node:fs/promises';
import { createServer } from 'node:http';
import { extname, join, normalize } from 'node:path';

const kTypes = {
  '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.json': 'application/json',
  '.webmanifest': 'application/manifest+json', '.wasm': 'application/wasm', '.svg': 'image/svg+xml',
  '.png': 'image/png', '.jpg': 'image/jpeg', '.gz': 'application/gzip', '.txt': 'text/plain',
};

export class Server {
  constructor(root) {
    this.root = root;
    this.missing = null;  // a file name answered with 404
    this.http = createServer((request, response) => this.serve(request, response).catch(() => {
      response.writeHead(500);
      response.end();
    }));
  }

  async serve(request, response) {
    let path = normalize(decodeURIComponent(new URL(request.url, 'http://localhost').pathname));
    if (path.endsWith('/')) path += 'index.html';
    const file = join(this.root, path);
    const found = !path.includes('..') && path.split('/').pop() !== this.missing &&
      await stat(file).then((s) => s.isFile(), () => false);
    if (!found) {
      response.writeHead(404, { 'content-type': 'text/plain' });
      response.end('not found');
      return;
    }
    const body = await readFile(file);
    response.writeHead(200, { 'content-type': kTypes[extname(file)] || 'application/octet-stream',
      'content-length': body.length, 'cache-control': 'no-cache' });
    response.end(body);
  }

  listen(port = 0) {
    return new Promise((resolve, reject) => {
      this.http.once('error', reject);
      this.http.listen(port, '127.0.0.1', () => {
        this.port = this.http.address().port;
        this.url = `http://127.0.0.1:${this.port}/`;
        resolve(this.url);
      });
    });
  }

  // The network cut: nothing answers at the page's address until restore().
  cut() {
    return new Promise((resolve) => {
      this.http.close(() => resolve());
      this.http.closeAllConnections();
    });
  }
  restore() { return this.listen(this.port); }
  close() { return this.cut(); }
}
