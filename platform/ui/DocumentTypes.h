#pragma once

// Which files a picker of some document types shows as pickable: the file
// name extensions of a type identifier, as the platform's type system answers
// them. It knows the system's types the app names (images, PDF, plain text,
// and the umbrella types "public.image", "public.data", "public.content",
// "public.item") and the app's own, declared in its info dictionary under
// "UTExportedTypeDeclarations" and "UTImportedTypeDeclarations" (each with
// "UTTypeIdentifier" and "UTTypeTagSpecification" /
// "public.filename-extension", a string or an array of them).

#include <string>
#include <vector>

namespace DocumentTypes {

// The extensions of the type, lower case, without the dot (none for an
// unknown type; "*" for a type every file conforms to).
std::vector<std::string> filenameExtensionsForType(const std::string& type);
// Whether a file of that name is of one of the types (its extension
// compared without regard to case).
bool fileNameConformsToTypes(const std::string& name, const std::vector<std::string>& types);

}  // namespace DocumentTypes
