// The RAR 2.0 packer as a library: collects entries from memory and writes an archive
// in the format the system's archive reader (and any RAR 2.0 extractor) reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rarpack {

struct EntryOptions {
    int method = 3;           // 0 stored, 1..5 compression effort
    bool multimedia = false;  // allow the multimedia (audio) mode where it pays
    std::string password;     // non-empty: the RAR 2.0 cipher
};

struct ArchiveOptions {
    bool solid = false;
    // Called now and then with (bytes done, bytes total) while packing.
    std::function<void(uint64_t, uint64_t)> progress;
};

class RarWriter {
public:
    explicit RarWriter(ArchiveOptions options = {}) : options_(std::move(options)) {}

    // Adds an entry; the bytes are copied. In a solid archive the first compressed
    // entry sets the effort and multimedia choice of the whole chain, and entries after
    // it are compressed even when stored was asked for. `name` is stored as given, with every '/'
    // turned into the archive's '\'. `dosTime` is the entry's MS-DOS date and time.
    void Add(const std::string& name, const void* data, size_t size, const EntryOptions& options,
             uint32_t dosTime = 0x00210000u);

    // Packs every entry into `out` (replaced). Returns false with a reason in `error`
    // when an entry cannot be stored (over 4 GB, name too long).
    bool Build(std::vector<uint8_t>* out, std::string* error);

    // Builds and writes the archive to `path`.
    bool WriteFile(const std::string& path, std::string* error);

    size_t EntryCount() const { return entries_.size(); }

private:
    struct Entry {
        std::string name;
        std::vector<uint8_t> data;
        EntryOptions options;
        uint32_t dosTime;
    };
    std::vector<const Entry*> PackOrder() const;
    ArchiveOptions options_;
    std::vector<Entry> entries_;
};

// Compresses `data` as one self-contained (non-solid) RAR 2.0 stream, for tests and
// benchmarks that want the unpacker's input without an archive around it.
std::vector<uint8_t> CompressRaw(const uint8_t* data, size_t size, int method, bool multimedia);

}  // namespace rarpack
