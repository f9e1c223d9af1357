// The program run as a person runs it: the real executable in a child
// process, on a temporary MEMORANT_HOME, its standard output (the headless
// display) and standard error read through pipes or a terminal.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/Bundle.h"
#include "support/TestEnvironment.h"

extern char** environ;

namespace {

using memorant_test::TempDir;

struct ProgramOutcome {
    int exitStatus = -1;
    std::string output;  // standard output
    std::string error;   // standard error (pipe or terminal)
};

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the program with the arguments on the home folder. With
// `stderrTerminal` its standard error is a pseudo-terminal. With
// `signalWhenShown` the program gets the signal (SIGTERM unless said) once its
// output shows that text, right after `beforeSignal` has run.
ProgramOutcome runProgram(const std::string& home, const std::vector<std::string>& arguments,
                          bool stderrTerminal = false, const std::string& signalWhenShown = {}, int signal = SIGTERM,
                          const std::function<void()>& beforeSignal = {}) {
    int out[2];
    if (::pipe(out) != 0) return {};
    int errorRead = -1, errorWrite = -1;
    if (stderrTerminal) {
        if (::openpty(&errorRead, &errorWrite, nullptr, nullptr, nullptr) != 0) return {};
    } else {
        int err[2];
        if (::pipe(err) != 0) return {};
        errorRead = err[0];
        errorWrite = err[1];
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errorWrite, STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, errorRead);

    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("MEMORANT_HOME=", 0) != 0) envStrings.emplace_back(*e);
    envStrings.push_back("MEMORANT_HOME=" + home);
    std::vector<char*> env;
    for (auto& e : envStrings) env.push_back(e.data());
    env.push_back(nullptr);
    std::vector<std::string> argStrings{MEMORANT_PROGRAM_PATH};
    argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    ProgramOutcome run;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, MEMORANT_PROGRAM_PATH, &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(errorWrite);
    if (spawned != 0) return run;
    if (!signalWhenShown.empty()) {
        char buffer[4096];
        while (run.output.find(signalWhenShown) == std::string::npos) {
            // A program that never shows the text still gets the signal
            // once it has written nothing for a long while.
            pollfd ready{out[0], POLLIN, 0};
            if (::poll(&ready, 1, 30000) <= 0) break;
            ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n <= 0) break;
            run.output.append(buffer, static_cast<std::size_t>(n));
        }
        if (beforeSignal) beforeSignal();
        ::kill(pid, signal);
    }
    // A terminal's reader gets EIO once the program has closed its side;
    // read standard output first, the program is done when it closes.
    run.output += readAll(out[0]);
    run.error = readAll(errorRead);
    ::close(out[0]);
    ::close(errorRead);
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
    return run;
}

std::filesystem::path logFile(const TempDir& home) {
    return home.path() / "Library/Caches/org.memorant.Memorant/Logs/Memorant.log";
}

// A deck file of the user's, outside the program's folder.
std::filesystem::path copyOfTheTutorialDeck(const TempDir& folder, const std::string& name) {
    const auto deck = folder.path() / name;
    std::filesystem::copy_file(*Bundle::main().pathForResource("Tutorial", "flashcards"), deck);
    return deck;
}

// The last frame the program wrote.
std::string lastFrame(const std::string& output) {
    const auto start = output.rfind("==== Memorant ====");
    return start == std::string::npos ? std::string() : output.substr(start);
}

}  // namespace

TEST(ProgramRun, FirstRunShowsTheLibraryWithTheTutorialAndASecondRunDoesNotCopyItAgain) {
    TempDir home;
    ProgramOutcome first = runProgram(home.str(), {"--until-idle"});
    EXPECT_EQ(0, first.exitStatus);
    EXPECT_NE(std::string::npos, first.output.find("==== Memorant ====")) << first.output;
    EXPECT_NE(std::string::npos, first.output.find("| Tutorial |")) << first.output;
    const auto tutorial = home.path() / "Documents/Tutorial.flashcards";
    ASSERT_TRUE(std::filesystem::exists(tutorial));
    // The question of a new user with the cloud available shows over the library.
    EXPECT_NE(std::string::npos, first.output.find("alert: ")) << first.output;

    // A second run leaves the user's file alone, and a deleted tutorial stays deleted.
    std::ofstream(tutorial, std::ios::trunc) << "mine";
    ProgramOutcome second = runProgram(home.str(), {"--until-idle"});
    EXPECT_EQ(0, second.exitStatus);
    EXPECT_EQ("mine", fileText(tutorial));
    std::filesystem::remove(tutorial);
    ProgramOutcome third = runProgram(home.str(), {"--until-idle"});
    EXPECT_EQ(0, third.exitStatus);
    EXPECT_FALSE(std::filesystem::exists(tutorial));
    EXPECT_EQ(std::string::npos, third.output.find("| Tutorial |")) << third.output;
}

TEST(ProgramRun, StandardErrorGoesToTheLogFileUnlessItIsATerminalAndTheMarkLineIsWrittenEitherWay) {
    TempDir home;
    ProgramOutcome piped = runProgram(home.str(), {"--until-idle"});
    EXPECT_EQ(0, piped.exitStatus);
    EXPECT_EQ("", piped.error);
    const std::string log = fileText(logFile(home));
    EXPECT_EQ(0u, log.find("---\n")) << log;
    EXPECT_NE(std::string::npos, log.find("Launched app version: 2.0.0. System: "));

    ProgramOutcome terminal = runProgram(home.str(), {"--until-idle"}, /*stderrTerminal=*/true);
    EXPECT_EQ(0, terminal.exitStatus);
    EXPECT_EQ(0u, terminal.error.find("---")) << terminal.error;
    EXPECT_NE(std::string::npos, terminal.error.find("Launched app version"));
    EXPECT_EQ(log, fileText(logFile(home)));  // nothing more in the log file
}

TEST(ProgramRun, AFileArgumentGoesThroughTheInboxIntoTheLibrary) {
    TempDir home;
    TempDir elsewhere;
    const auto mine = elsewhere.path() / "Spanish.flashcards";
    std::ofstream(mine) << "deck bytes";
    ProgramOutcome run = runProgram(home.str(), {"--until-idle", mine.string()});
    EXPECT_EQ(0, run.exitStatus);
    EXPECT_EQ("deck bytes", fileText(home.path() / "Documents/Spanish.flashcards"));
    EXPECT_FALSE(std::filesystem::exists(home.path() / "Documents/Inbox/Spanish.flashcards"));
    EXPECT_TRUE(std::filesystem::exists(mine));  // the user's file stays
    run = runProgram(home.str(), {"--until-idle", mine.string()});
    EXPECT_EQ("deck bytes", fileText(home.path() / "Documents/Spanish 2.flashcards"));
}

TEST(ProgramRun, AnArgumentThatIsNoDocumentTheAppOpensIsRefusedOnStandardErrorWithNothingCopied) {
    TempDir elsewhere;
    std::filesystem::create_directories(elsewhere.path() / "Folder.flashcards/Inner");
    std::ofstream(elsewhere.path() / "Folder.flashcards/Inner/card.txt") << "text";
    std::ofstream(elsewhere.path() / "Notes.txt") << "notes";
    struct Case {
        std::string argument, message;
    };
    const std::vector<Case> cases = {
        {(elsewhere.path() / "None.flashcards").string(), "No such file to open: "},
        {(elsewhere.path() / "Folder.flashcards").string(), ": it is a folder; nothing was copied"},
        {(elsewhere.path() / "Notes.txt").string(), ": only .flashcards or .pdf files are opened; nothing was copied"},
    };
    for (const Case& refused : cases) {
        SCOPED_TRACE(refused.argument);
        TempDir home;
        ProgramOutcome run = runProgram(home.str(), {"--until-idle", refused.argument});
        EXPECT_EQ(0, run.exitStatus);
        EXPECT_NE(std::string::npos, run.error.find(refused.message)) << run.error;
        EXPECT_EQ(std::string::npos, fileText(logFile(home)).find(refused.message)) << "not only in the log file";
        const auto inbox = home.path() / "Documents/Inbox";
        EXPECT_TRUE(!std::filesystem::exists(inbox) || std::filesystem::is_empty(inbox));
        EXPECT_NE(std::string::npos, lastFrame(run.output).find("| Tutorial |")) << "the app runs on";
    }
}

TEST(ProgramRun, ALogFileThatCannotBeOpenedLeavesStandardErrorWorking) {
    TempDir home;
    std::filesystem::create_directories(logFile(home));  // a folder where the file would be
    ProgramOutcome run = runProgram(home.str(), {"--until-idle", "/no/such/deck.flashcards"});
    EXPECT_EQ(0, run.exitStatus);
    EXPECT_NE(std::string::npos, run.error.find("Cannot open the log file ")) << run.error;
    EXPECT_NE(std::string::npos, run.error.find("No such file to open: /no/such/deck.flashcards")) << run.error;
    EXPECT_NE(std::string::npos, run.error.find("Launched app version")) << "the log goes to standard error";
}

TEST(ProgramRun, EscapeSequencesInADeckTitleReachTheTerminalEscaped) {
    TempDir home;
    TempDir elsewhere;
    const auto deck = copyOfTheTutorialDeck(elsewhere, "Evil\x1b]0;owned\x07\x1b[2J.flashcards");
    ProgramOutcome run = runProgram(home.str(), {deck.string()}, false, "| Welcome to Memorant!");
    EXPECT_EQ(0, run.exitStatus);
    EXPECT_EQ(std::string::npos, run.output.find_first_of("\x1b\x07")) << "nothing drives the terminal";
    EXPECT_NE(std::string::npos, run.output.find(R"(Evil\x1b]0;owned\x07\x1b[2J)")) << run.output;
}

TEST(ProgramRun, TerminationRequestEndsTheRunWithStatusZero) {
    TempDir home;
    ProgramOutcome run = runProgram(home.str(), {}, false, "| Tutorial |");
    EXPECT_EQ(0, run.exitStatus);
    const std::string log = fileText(logFile(home));
    EXPECT_NE(std::string::npos, log.find("Launched app version")) << log;
}

TEST(ProgramRun, AQuitRequestSavesTheDeckANewUserWasHandedWhichShowsOverTheLibraryWhileTheQuestionWaits) {
    // Opened from outside, the deck gets a new thumbnail: a change that its
    // autosave would save only much later.
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
        TempDir home;
        TempDir elsewhere;
        const auto deck = copyOfTheTutorialDeck(elsewhere, "Some.flashcards");
        const auto imported = home.path() / "Documents/Some.flashcards";
        std::filesystem::file_time_type shownTime;
        ProgramOutcome run = runProgram(home.str(), {deck.string()}, false, "| Welcome to Memorant!", signal,
                                        [&] { shownTime = std::filesystem::last_write_time(imported); });
        EXPECT_EQ(0, run.exitStatus);
        // On a fresh home the storage question is up, and the deck shows beneath it.
        const std::string frame = lastFrame(run.output);
        EXPECT_NE(std::string::npos, frame.find("| Welcome to Memorant!")) << run.output;
        EXPECT_NE(std::string::npos, frame.find("alert: ")) << frame;
        EXPECT_GT(std::filesystem::last_write_time(imported), shownTime);
    }
}

// A damaged deck handed to the program fails to open, and the document's own
// alert, which speaks of saving, is not shown for it: the library tells of
// the failed open (beneath the new user's storage question here, in the
// library tests on their own).
TEST(ProgramRun, ADamagedDeckHandedToTheProgramShowsNoSavingAlert) {
    const std::string tutorial = *Bundle::main().pathForResource("Tutorial", "flashcards");
    const std::string savingTitle = Bundle::main().localizedString("ErrorSavingDeckTitle", "", "Localizable");
    const struct {
        const char* what;
        std::function<void(const std::filesystem::path&)> make;
    } damaged[] = {
        {"a truncated zip",
         [&](const std::filesystem::path& deck) {
             std::filesystem::copy_file(tutorial, deck);
             std::filesystem::resize_file(deck, std::filesystem::file_size(deck) / 2);
         }},
        {"random bytes",
         [](const std::filesystem::path& deck) {
             std::ofstream out(deck, std::ios::binary);
             for (unsigned i = 0; i < 4096; ++i) out.put(static_cast<char>((i * 2654435761u) >> 13));
         }},
        {"an empty file", [](const std::filesystem::path& deck) { std::ofstream{deck}; }},
        // (A folder named like a deck is refused as an argument before any open:
        // AnArgumentThatIsNoDocumentTheAppOpensIsRefusedOnStandardErrorWithNothingCopied.)
    };
    for (const auto& c : damaged) {
        SCOPED_TRACE(c.what);
        TempDir home;
        TempDir elsewhere;
        const auto deck = elsewhere.path() / "Damaged.flashcards";
        c.make(deck);
        ProgramOutcome run = runProgram(home.str(), {"--until-idle", deck.string()});
        EXPECT_EQ(0, run.exitStatus);
        EXPECT_NE(std::string::npos, fileText(logFile(home)).find(". Success opening: false"));
        EXPECT_EQ(std::string::npos, run.output.find("alert: " + savingTitle)) << run.output;
        EXPECT_EQ(std::string::npos, run.output.find("alert: Error Saving Deck")) << run.output;
    }
}
