// Fresh temporary folders for tests, removed with everything in them, and whole-file helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A new empty folder under $TMPDIR (or /tmp), removed recursively on destruction.
class TTempDir {
  public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    // The folder, ending in '/'.
    const std::string& Path() const { return FPath; }
    // Path() + name.
    std::string File(const std::string& name) const { return FPath + name; }
    // The names in the folder, sorted, without "." and "..".
    std::vector<std::string> Names() const;

  private:
    std::string FPath;
};

// The whole file's bytes; throws std::runtime_error when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
// Creates or replaces the file with exactly these bytes; throws std::runtime_error on failure.
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
