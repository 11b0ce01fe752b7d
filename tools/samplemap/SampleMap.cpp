// voxel-sample-map FOLDER: writes a fixed sample landscape as FOLDER/Map.Dat, never overwriting.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "terrain/MapFile.h"
#include "terrain/SampleLandscape.h"
#include "util/Exceptions.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    std::string path = argv[1];
    if (path.empty() || path.back() != '/') path += '/';
    path += "Map.Dat";

    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
        std::printf("%s already exists; left as it is\n", path.c_str());
        return 0;
    }
    THeightArray field;
    MakeSampleLandscape(field);
    try {
        SaveHeightArray(path, field);
    } catch (const EInOutError& e) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), e.what());
        return 1;
    }
    std::printf("wrote %s\n", path.c_str());
    return 0;
}
