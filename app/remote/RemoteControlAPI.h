#pragma once

#include <string>

// The vocabulary of the remote-control protocol: the service type under which
// the phone is advertised and the command words. Words travel as UTF-8 lines
// ended by "\r\n"; the separator is added on sending.
struct RemoteControlAPIService {
    static std::string BonjourServiceType() { return "_memrc1._tcp."; }
};

struct RemoteControlAPICommands {
    // Sent by the phone.
    static std::string Next() { return "n"; }
    static std::string Previous() { return "p"; }
    static std::string Reveal() { return "r"; }
    static std::string A() { return "A"; }
    static std::string B() { return "B"; }
    static std::string C() { return "C"; }
    static std::string D() { return "D"; }
    static std::string E() { return "E"; }
    static std::string F() { return "F"; }
    static std::string Easy() { return "e"; }
    static std::string Unsure() { return "u"; }
    static std::string Hard() { return "h"; }
    static std::string GetCurrentStudyMode() { return "s"; }
    static std::string DeleteBackward() { return "d"; }
    // Followed at once by the typed text.
    static std::string TypeLetter() { return "l"; }
    // Sent by the phone to switch the peer's mode, and by the peer to report it.
    static std::string MemorizeStudyMode() { return "m"; }
    static std::string MultipleChoiceStudyMode() { return "mc"; }
    static std::string TypeStudyMode() { return "t"; }
};
