// Finding and readying the folder of the default map.
#include "app/MapHome.h"

#include <cerrno>
#include <cstdlib>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "terrain/MapFile.h"
#include "terrain/SampleLandscape.h"
#include "util/Exceptions.h"

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// HOME, or the password database's entry when HOME is unset (a service's environment).
std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return ".";
}

} // namespace

TMapHome FindMapHome(const std::string& appPath, const std::string& appId) {
    if (!IsRegularFile(appPath + "../share/applications/" + appId + ".desktop"))
        return {appPath, false};
    // A relative XDG_DATA_HOME is invalid and to be ignored, as the base directory rules say.
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::string folder = dataHome != nullptr && dataHome[0] == '/'
                             ? std::string(dataHome)
                             : HomeFolder() + "/.local/share";
    if (folder.back() != '/') folder += '/';
    return {folder + "voxel/", true};
}

void PrepareMapHome(const TMapHome& home) {
    if (!home.Installed) return;
    // Each missing level is made for the user alone, as the base directory rules ask.
    for (size_t slash = home.Folder.find('/', 1); slash != std::string::npos;
         slash = home.Folder.find('/', slash + 1)) {
        const std::string level = home.Folder.substr(0, slash);
        struct stat st {};
        if (mkdir(level.c_str(), 0700) != 0 && (stat(level.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
            return;
    }
    // Anything already there, a dangling link included, is the user's and stays.
    const std::string map = home.Folder + "Map.Dat";
    struct stat st {};
    if (lstat(map.c_str(), &st) == 0 || errno != ENOENT) return;
    THeightArray field;
    MakeSampleLandscape(field);
    try {
        SaveHeightArray(map, field);
    } catch (const EInOutError&) {
        // The load then finds no map and the start-up line says why it cannot be written.
    }
}
