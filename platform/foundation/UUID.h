#pragma once

#include <array>
#include <cstdint>
#include <string>

// A universally unique identifier, as the platform's UUID class: a new one is
// random (version 4).
class UUID {
public:
    using Bytes = std::array<std::uint8_t, 16>;

    // A new random identifier.
    UUID();
    explicit UUID(const Bytes& bytes) : bytes_(bytes) {}

    const Bytes& bytes() const { return bytes_; }
    // "E621E1F8-C36C-495A-93FC-0C247A3E6E5F": upper-case with hyphens.
    std::string UUIDString() const;

    bool operator==(const UUID&) const = default;

private:
    Bytes bytes_{};
};
