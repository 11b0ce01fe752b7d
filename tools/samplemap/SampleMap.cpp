// voxel-sample-map FOLDER: writes a fixed sample landscape as FOLDER/Map.Dat, never overwriting.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "terrain/MapFile.h"
#include "terrain/SampleLandscape.h"
#include "util/Exceptions.h"

int main(int argc, char** argv) {
    const std::string arg = argc == 2 ? argv[1] : "";
    if (arg == "--help" || arg == "-h") {
        std::printf("usage: %s FOLDER\n", argv[0]);
        return 0;
    }
    // An option is no folder: "--help/Map.Dat" is never written.
    if (argc != 2 || arg.empty() || arg[0] == '-') {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    std::string path = arg;
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
