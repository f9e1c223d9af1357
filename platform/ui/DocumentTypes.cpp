#include "platform/ui/DocumentTypes.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/StringUtils.h"

namespace DocumentTypes {

namespace {

struct SystemType {
    std::string_view identifier;
    std::vector<std::string_view> extensions;
};

const std::vector<SystemType>& systemTypes() {
    static const std::vector<SystemType> types = {
        {"public.png", {"png"}},
        {"public.jpeg", {"jpg", "jpeg", "jpe"}},
        {"public.jpeg-2000", {"jp2", "jpf", "jpx", "j2k", "j2c"}},
        {"com.microsoft.bmp", {"bmp", "dib"}},
        {"com.compuserve.gif", {"gif"}},
        {"public.tiff", {"tif", "tiff"}},
        {"public.image",
         {"png", "jpg", "jpeg", "jpe", "jp2", "jpf", "jpx", "j2k", "j2c", "bmp", "dib", "gif", "tif", "tiff"}},
        {"com.adobe.pdf", {"pdf"}},
        {"public.plain-text", {"txt", "text"}},
        {"public.data", {"*"}},
        {"public.content", {"*"}},
        {"public.item", {"*"}},
    };
    return types;
}

void appendDeclared(const Value& declarations, const std::string& type, std::vector<std::string>& out) {
    for (std::size_t i = 0; i < declarations.count(); ++i) {
        const Value& declaration = declarations[i];
        if (declaration["UTTypeIdentifier"].stringValue() != type) continue;
        const Value& tags = declaration["UTTypeTagSpecification"]["public.filename-extension"];
        if (tags.isString()) out.push_back(lowercaseString(tags.stringValue()));
        for (std::size_t k = 0; tags.isArray() && k < tags.count(); ++k)
            out.push_back(lowercaseString(tags[k].stringValue()));
    }
}

}  // namespace

std::vector<std::string> filenameExtensionsForType(const std::string& type) {
    std::vector<std::string> extensions;
    for (const auto& known : systemTypes())
        if (known.identifier == type)
            for (auto extension : known.extensions) extensions.emplace_back(extension);
    for (const char* key : {"UTExportedTypeDeclarations", "UTImportedTypeDeclarations"})
        appendDeclared(Bundle::main().objectForInfoDictionaryKey(key), type, extensions);
    std::erase_if(extensions, [](const std::string& extension) { return extension.empty(); });
    return extensions;
}

bool fileNameConformsToTypes(const std::string& name, const std::vector<std::string>& types) {
    const std::string extension = lowercaseString(pathExtension(name));
    for (const auto& type : types)
        for (const auto& known : filenameExtensionsForType(type))
            if (known == "*" || (!extension.empty() && known == extension)) return true;
    return false;
}

}  // namespace DocumentTypes
