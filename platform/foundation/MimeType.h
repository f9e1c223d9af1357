#pragma once

#include <optional>
#include <string>
#include <string_view>

// The preferred MIME type of the file type that a file name extension stands
// for, as the platform's type system answers it, for the types the app meets
// (images, documents, web resources, archives, sound and video). The extension
// is matched without regard to case and without its dot; nullopt for an
// extension without a known MIME type.
std::optional<std::string> preferredMIMETypeForPathExtension(std::string_view extension);
