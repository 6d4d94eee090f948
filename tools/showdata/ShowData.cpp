// Builds the default show data: pictures, scenes and music, and packs the archive.
#include "ShowData.h"

#include <cstdio>

#include "ShowImage.h"
#include "ShowMeshes.h"
#include "ShowMusic.h"
#include "ShowPictures.h"
#include "tools/rarpack/RarWriter.h"

namespace showdata {

namespace {

void Say(const BuildOptions& options, const std::string& line) {
    if (options.progress) options.progress(line);
}

bool WriteAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
    const std::string temp = path + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        if (error) *error = "cannot create " + temp;
        return false;
    }
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        if (error) *error = "cannot write " + path;
        return false;
    }
    return true;
}

bool IsTga(const std::string& name) { return name.size() > 4 && name.compare(name.size() - 4, 4, ".tga") == 0; }

}  // namespace

const std::vector<std::string>& ShowEntryNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const std::string& p : PictureNames())
            if (!IsTga(p)) n.push_back(p);
        for (const SceneFile& s : MakeScenes()) n.push_back(s.name);
        for (const std::string& p : PictureNames())
            if (IsTga(p)) n.push_back(p);
        return n;
    }();
    return names;
}

bool BuildShowData(const BuildOptions& options, ShowData* out, std::string* error) {
    out->entries.clear();
    Say(options, "drawing pictures");
    std::vector<Picture> pictures;
    if (!MakePictures(&pictures, error)) return false;

    std::vector<ShowEntry> jpegs, tgas, scenes;
    for (const Picture& p : pictures) {
        ShowEntry e{p.name, {}};
        if (!EncodePicture(p, &e.bytes, error)) return false;
        (p.format == PictureFormat::kTga ? tgas : jpegs).push_back(std::move(e));
        if (!options.previewDir.empty()) {
            std::string base = p.name.substr(p.name.rfind('/') + 1);
            base = base.substr(0, base.rfind('.'));
            if (!WritePng(options.previewDir + "/" + base + ".png", p.pixels, p.size, p.size,
                          p.channels, error))
                return false;
        }
    }
    Say(options, "building scenes");
    for (const SceneFile& s : MakeScenes()) {
        ShowEntry e{s.name, {}};
        if (!EncodeScene(s, &e.bytes, error)) return false;
        scenes.push_back(std::move(e));
    }
    for (auto* group : {&jpegs, &scenes, &tgas})
        for (ShowEntry& e : *group) out->entries.push_back(std::move(e));

    Say(options, "composing music");
    xm::Module song = ComposeMusic();
    std::string why;
    if (!song.Write(&out->music, &why)) {
        if (error) *error = "music: " + why;
        return false;
    }

    Say(options, "packing " + std::string(kArchiveName));
    rarpack::ArchiveOptions archiveOptions;
    archiveOptions.solid = true;
    rarpack::RarWriter writer(archiveOptions);
    // One solid chain: its effort and mode come from the first entry, and with the
    // multimedia mode allowed the packer picks it per block where it pays (the TGA
    // pixels) and LZ elsewhere.
    rarpack::EntryOptions entryOptions;
    entryOptions.method = 5;
    entryOptions.multimedia = true;
    for (const ShowEntry& e : out->entries)
        writer.Add(e.name, e.bytes.data(), e.bytes.size(), entryOptions);
    if (!writer.Build(&out->archive, &why)) {
        if (error) *error = "archive: " + why;
        return false;
    }
    return true;
}

bool WriteShowData(const ShowData& data, const std::string& dir, std::string* error) {
    return WriteAtomically(dir + "/" + kArchiveName, data.archive, error) &&
           WriteAtomically(dir + "/" + kMusicName, data.music, error);
}

}  // namespace showdata
