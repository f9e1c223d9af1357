#include "umbrella/JavaScriptBackedObject.h"

#include "umbrella/JavaScriptText.h"

std::string JavaScriptBackedObject::ArgumentValue::javaScriptText() const {
    switch (kind()) {
        case Kind::String:
            return javaScriptTemplateLiteral(std::get<std::string>(value_));
        case Kind::Bool:
            return std::get<bool>(value_) ? "true" : "false";
        case Kind::Double:
            return javaScriptFourDecimalsNumber(std::get<double>(value_));
        case Kind::Int:
            return std::to_string(std::get<std::int64_t>(value_));
    }
    return {};
}
