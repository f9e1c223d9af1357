#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/media/SystemSound.h"

TEST(SystemSound, PlaysAreRecordedOnlyWhileTheSoundIsRegistered)
{
    const auto path = (std::filesystem::temp_directory_path() / "memorant-system-sound-test.aif").string();
    std::ofstream(path) << "FORM";
    SystemSound::resetRecording();
    const std::size_t liveBefore = SystemSound::liveSoundCount();

    EXPECT_EQ(SystemSound::create(path + ".missing"), 0u);
    EXPECT_EQ(SystemSound::create(std::filesystem::temp_directory_path().string()), 0u);

    const SystemSound::Identifier sound = SystemSound::create(path);
    ASSERT_NE(sound, 0u);
    EXPECT_EQ(SystemSound::liveSoundCount(), liveBefore + 1);
    SystemSound::play(sound);
    SystemSound::play(sound + 1000);
    SystemSound::dispose(sound);
    SystemSound::dispose(sound);
    SystemSound::play(sound);

    EXPECT_EQ(SystemSound::playedSounds(), std::vector<std::string>{path});
    EXPECT_EQ(SystemSound::liveSoundCount(), liveBefore);
    EXPECT_NE(SystemSound::create(path), sound) << "identifiers are not reused";
    std::filesystem::remove(path);
}
