#pragma once

// The cloud document container of this platform: there is no cloud service,
// so a container is a folder on the local disk, under the app's data
// ("<app root>/Mobile Documents/<identifier>", made on first use), and the
// signed-in account is an identity token that is present unless someone
// signs out. Changing the token posts NSUbiquityIdentityDidChangeNotification
// on the default notification center, on the thread that changed it.
//
// Without a token there is no container: the look-up gives nothing, as the
// platform's does for a signed-out user. Tests can make the look-up slow (it
// waits in a hook they release) or absent (no token).

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/URL.h"

inline constexpr const char* NSUbiquityIdentityDidChangeNotification = "NSUbiquityIdentityDidChangeNotification";

// The main bundle's info-dictionary entry that declares the app's containers
// (an array of identifiers, the first being the app's default container), as
// the app's entitlements do on the platform.
inline constexpr const char* UbiquityContainerIdentifiersInfoKey = "UbiquityContainerIdentifiers";

// The opaque identity of the signed-in account: equal tokens name one account.
class UbiquityIdentityToken {
public:
    explicit UbiquityIdentityToken(std::string identity) : identity_(std::move(identity)) {}

    // The token as bytes for the user defaults, and back; nullopt for bytes
    // that are not an archived token.
    Data archivedData() const;
    static std::optional<UbiquityIdentityToken> fromArchivedData(const Data& data);

    bool operator==(const UbiquityIdentityToken&) const = default;
    const std::string& identity() const { return identity_; }

private:
    std::string identity_;
};

namespace UbiquityContainer {

// The current account's token; the program starts signed in with a token of
// the local user.
std::optional<UbiquityIdentityToken> ubiquityIdentityToken();
// Signs in (a token) or out (nullopt); posts the notification when the token
// changed. Any thread.
void setUbiquityIdentityToken(std::optional<UbiquityIdentityToken> token);

// The containers the info dictionary declares, in order (the strings of the
// array; nothing when there is none).
std::vector<std::string> declaredContainerIdentifiers();
// The identifier of the app's default container: the first one declared,
// else "Default".
std::string defaultContainerIdentifier();

// URLForUbiquityContainerIdentifier: the container folder of the identifier
// (of the default container when nullopt), made when missing; nullopt
// when signed out, for an empty identifier or one with a "/", or when the
// folder cannot be made. May take long: call it off the main thread.
std::optional<URL> URLForUbiquityContainerIdentifier(const std::optional<std::string>& identifier);

// The folder that holds the containers; "" goes back to the default.
std::string containersRoot();
void setContainersRoot(const std::string& path);

// Tests: a hook that every look-up runs first, on the look-up's thread (to
// hold it until the test lets it go); nullptr removes it.
void setLookupHook(std::function<void()> hook);

}  // namespace UbiquityContainer
