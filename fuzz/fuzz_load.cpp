// Fuzz target: loading any "Map.Dat" contents and length, served from memory through the file
// steps. The first input byte shapes the file: bit 0 repeats the rest to exactly 76,800 bytes,
// bit 1 makes the file shrink after its length was asked, bits 2 ... 7 cut every read short.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "terrain/MapFile.h"
#include "util/Exceptions.h"

namespace {

class TMemoryFileOps final : public TFileOps {
  public:
    std::vector<uint8_t> Content;
    size_t Readable = 0; // bytes still there when the reads come
    unsigned long Chunk = 1;
    size_t Position = 0;
    int OpenFiles = 0;

    int Inspect(const std::string&, TFileInfo& info) override {
        info.Exists = info.Regular = true;
        info.Size = static_cast<long long>(Content.size());
        return 0;
    }
    int OpenForReading(const std::string&, int& fd) override {
        fd = 1000;
        ++OpenFiles;
        Position = 0;
        return 0;
    }
    int Size(int, long long& size) override {
        size = static_cast<long long>(Content.size());
        return 0;
    }
    long Read(int, void* buffer, unsigned long count) override {
        if (Position >= Readable) return 0;
        const size_t n = std::min<size_t>({count, Chunk, Readable - Position});
        std::memcpy(buffer, Content.data() + Position, n);
        Position += n;
        return static_cast<long>(n);
    }
    int Close(int) override {
        --OpenFiles;
        return 0;
    }
    // A load never writes.
    int OpenExisting(const std::string&, int&) override { std::abort(); }
    int ReadLink(const std::string&, std::string&, bool&) override { std::abort(); }
    int CheckWritable(const std::string&) override { std::abort(); }
    int CheckFolderWritable(const std::string&) override { std::abort(); }
    int CreateTemp(const std::string&, const std::string&, std::string&, int&, int&) override {
        std::abort();
    }
    int Unlock(int) override { std::abort(); }
    int SetMode(int, unsigned) override { std::abort(); }
    long Write(int, const void*, unsigned long) override { std::abort(); }
    int Truncate(int, long long) override { std::abort(); }
    int Sync(int) override { std::abort(); }
    int Rename(const std::string&, const std::string&) override { std::abort(); }
    int Remove(const std::string&) override { std::abort(); }
    int SyncFolder(const std::string&) override { std::abort(); }
    int Link(const std::string&, const std::string&) override { std::abort(); }
    int CreateNew(const std::string&, int&) override { std::abort(); }
    int ListFolder(const std::string&, std::vector<std::string>&) override { std::abort(); }
    int LockStale(const std::string&, int&) override { std::abort(); }
};

void Check(bool condition) {
    if (!condition) std::abort();
}

bool AllZero(const THeightArray& field) {
    for (const uint8_t cell : field)
        if (cell != 0) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t shape = data[0];
    const uint8_t* rest = data + 1;
    const size_t restSize = size - 1;

    static TMemoryFileOps ops;
    ops.Content.assign(rest, rest + restSize);
    if ((shape & 1) && restSize > 0) {
        ops.Content.resize(MapCells);
        for (size_t i = restSize; i < ops.Content.size(); ++i)
            ops.Content[i] = rest[i % restSize];
    }
    const bool shrinks = (shape & 2) != 0;
    ops.Readable = shrinks ? (restSize * 7919) % (ops.Content.size() + 1) : ops.Content.size();
    ops.Chunk = shape >> 2 == 0 ? ~0ul : (shape >> 2) * 1237ul;
    SetFileOps(&ops);

    static THeightArray field;
    field.fill(0xCD);
    const bool wholeMap = ops.Content.size() == static_cast<size_t>(MapCells);
    try {
        const TLoadResult result = LoadHeightArray("Map.Dat", field);
        Check(wholeMap == (result == TLoadResult::Loaded));
        Check(wholeMap ? std::memcmp(field.data(), ops.Content.data(), MapCells) == 0
                       : AllZero(field));
        Check(!wholeMap || ops.Readable >= ops.Content.size());
    } catch (const EInOutError& e) {
        // Only a map that shrank under the reads fails, and the field is then left all zero.
        Check(wholeMap && ops.Readable < ops.Content.size());
        Check(std::strcmp(e.what(), "Read beyond end of file") == 0);
        Check(AllZero(field));
    }
    Check(ops.OpenFiles == 0);
    SetFileOps(nullptr);
    return 0;
}
