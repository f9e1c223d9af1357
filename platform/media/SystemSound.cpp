#include "platform/media/SystemSound.h"

#include <filesystem>
#include <mutex>
#include <unordered_map>

namespace SystemSound {
namespace {

struct Registry {
    std::mutex mutex;
    Identifier lastIdentifier = 0;
    std::unordered_map<Identifier, std::string> paths;
    std::vector<std::string> played;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

} // namespace

Identifier create(const std::string& path)
{
    std::error_code error;
    if (path.empty() || !std::filesystem::is_regular_file(path, error))
        return 0;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const Identifier sound = ++r.lastIdentifier;
    r.paths.emplace(sound, path);
    return sound;
}

void play(Identifier sound)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (auto it = r.paths.find(sound); it != r.paths.end())
        r.played.push_back(it->second);
}

void playAlert(Identifier sound)
{
    if (sound != kVibrate) {
        play(sound);
        return;
    }
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.played.push_back("vibrate");
}

void dispose(Identifier sound)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.paths.erase(sound);
}

std::vector<std::string> playedSounds()
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.played;
}

std::size_t liveSoundCount()
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.paths.size();
}

void resetRecording()
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.played.clear();
}

} // namespace SystemSound
