#include "Common/BPDocumentSchema.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include <snappy.h>

#include "model/TWErrorAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/Format.h"

namespace {

// The most elements an array read from a file has room made for before they
// are read; beyond it the array grows with the elements really there.
constexpr std::uint64_t kMaxArrayReservation = 4096;

Error protocolError(const std::string& message) { return twErrorWithDomain(BPBinaryProtocolErrorDomain, -1, message); }

// A wrong mapping is a programming error in a fixed table: log it and stop.
[[noreturn]] void mappingFailure(const std::string& message) {
    TWLogError("%@", message);
    std::abort();
}

const char* nameOf(const BPEntityClass* c) { return c ? c->name().c_str() : nullptr; }

}  // namespace

// --- Tag definitions ---

BPDocumentTagDefinition BPDocumentTagDefinition::definitionWithTag(std::uint8_t tag, std::uint64_t type,
                                                                   std::optional<std::string> propertyName,
                                                                   const BPEntityClass* entityClass) {
    BPDocumentTagDefinition d;
    d.tag_ = tag;
    d.type_ = type;
    d.propertyName_ = std::move(propertyName);
    d.entityClass_ = entityClass;
    if (entityClass && d.propertyName_) d.property_ = entityClass->declaredProperty(*d.propertyName_);
    return d;
}

// --- Mapping ---

BPDocumentSchema::BPDocumentSchema() {
    definitions_.push_back(
        BPDocumentTagDefinition::definitionWithTag(BPTagStringRecord, BPTagTypeString, std::nullopt, nullptr));
    stringTagDefinitions_.push_back(&definitions_.back());
}

BPDocumentSchema::~BPDocumentSchema() = default;

void BPDocumentSchema::mapNSStringProperty(const std::string& p, std::uint8_t tag, const BPEntityClass& c) {
    _mappProperty(p, BPTagTypeString, tag, c);
}
void BPDocumentSchema::mapNSArrayProperty(const std::string& p, std::uint8_t tag, const BPEntityClass& c) {
    _mappProperty(p, BPTagTypeArray, tag, c);
}
void BPDocumentSchema::mapDoubleProperty(const std::string& p, std::uint8_t tag, const BPEntityClass& c) {
    _mappProperty(p, BPTagTypeDouble, tag, c);
}
void BPDocumentSchema::mapNSIntegerProperty(const std::string& p, std::uint8_t tag, const BPEntityClass& c) {
    _mappProperty(p, BPTagTypeInteger, tag, c);
}
void BPDocumentSchema::mapNSUIntegerProperty(const std::string& p, std::uint8_t tag, const BPEntityClass& c) {
    _mappProperty(p, BPTagTypeUnsignedInteger, tag, c);
}
void BPDocumentSchema::mapNSDateWithSecondsPrecisionProperty(const std::string& p, std::uint8_t tag,
                                                             const BPEntityClass& c) {
    _mappProperty(p, BPTagTypeDateWithSecondsPrecision, tag, c);
}
void BPDocumentSchema::mapNSMutableArrayProperty(const std::string& p, std::uint8_t tag, const BPEntityClass& c) {
    _mappProperty(p, BPTagTypeMutableArray, tag, c);
}
void BPDocumentSchema::mapObjectProperty(const std::string& p, std::uint8_t tag, const BPEntityClass& c) {
    _mappProperty(p, BPTagTypeObject, tag, c);
}
void BPDocumentSchema::mapBOOLProperty(const std::string& p, std::uint8_t tag, const BPEntityClass& c) {
    _mappProperty(p, BPTagTypeBool, tag, c);
}
void BPDocumentSchema::mapNSDataProperty(const std::string& p, std::uint8_t tag, const BPEntityClass& c) {
    _mappProperty(p, BPTagTypeData, tag, c);
}

void BPDocumentSchema::_mappProperty(const std::string& property, std::uint64_t type, std::uint8_t tag,
                                     const BPEntityClass& entityClass) {
    if (property.empty() || entityClass.name().empty())
        mappingFailure("ERROR: Property name and entity class are required");
    if (tag < BPFirstMappableTag)
        mappingFailure(stringWithFormat("ERROR: The tag '%d' is within the range of reserved tags and cannot be used "
                                        "for: %@/%@",
                                        static_cast<int>(tag), entityClass.name(), property));
    if (const BPDocumentTagDefinition* existing = tagDefinitionByTag_[tag])
        mappingFailure(stringWithFormat("ERROR: The tag '%d' is already defined for: %@/%@ and cannot be used for: "
                                        "%@/%@",
                                        static_cast<int>(tag), nameOf(existing->entityClass()),
                                        existing->propertyName(), entityClass.name(), property));
    const BPPropertyDescription* declared = entityClass.declaredProperty(property);
    if (!declared || !_verifyType(type, *declared))
        mappingFailure(stringWithFormat("ERROR: The property '%@.%@' is not of type: %lu!", entityClass.name(),
                                        property, static_cast<unsigned long>(type)));

    definitions_.push_back(BPDocumentTagDefinition::definitionWithTag(tag, type, property, &entityClass));
    const BPDocumentTagDefinition* def = &definitions_.back();
    tagDefinitionByTag_[tag] = def;
    tagDefinitionsByClass_[entityClass.type()].push_back(def);
    if (tag > highestMappedTag_) highestMappedTag_ = tag;
}

bool BPDocumentSchema::_verifyType(std::uint64_t type, const BPPropertyDescription& property) {
    using K = BPPropertyKind;
    K k = property.kind;
    switch (type) {
        case BPTagTypeString: return k == K::String;
        case BPTagTypeArray: return k == K::Array;
        case BPTagTypeDouble: return k == K::Double || k == K::Float;
        case BPTagTypeInteger: return k == K::Long || k == K::LongLong || k == K::Int;
        case BPTagTypeUnsignedInteger:
            return k == K::UnsignedLongLong || k == K::UnsignedLong || k == K::UnsignedInt;
        case BPTagTypeDateWithSecondsPrecision: return k == K::Date;
        case BPTagTypeMutableArray: return k == K::MutableArray;
        case BPTagTypeObject: return BPPropertyKindIsObject(k);
        case BPTagTypeBool: return k == K::Bool;
        case BPTagTypeData: return k == K::Data;
        default: return false;
    }
}

std::uint8_t BPDocumentSchema::nextAvailableTag_useForTransientDocumentsOnly() const {
    int highest = highestMappedTag_ < 9 ? 9 : highestMappedTag_;
    return static_cast<std::uint8_t>(highest + 1);
}

const std::vector<const BPDocumentTagDefinition*>* BPDocumentSchema::tagDefinitionsForClass(
    std::type_index type) const {
    auto it = tagDefinitionsByClass_.find(type);
    return it == tagDefinitionsByClass_.end() ? nullptr : &it->second;
}

std::string BPDocumentSchema::classNameOfObject(const BPObject& object) const {
    if (auto defs = tagDefinitionsForClass(object.type())) return defs->front()->entityClass()->name();
    return object.className();
}

// --- Writing ---

std::optional<Data> BPDocumentSchema::serialize(const BPObject& object, Error* error) const {
    Error::clear(error);
    Data data;
    Error e;
    if (!_serialize(object, data, 0, e)) {
        Error::set(error, e);
        return std::nullopt;
    }
    return data;
}

std::optional<Data> BPDocumentSchema::serializeDelimited(const std::vector<BPObject>& objects, Error* error) const {
    Error::clear(error);
    Data data;
    Error e;
    for (const auto& object : objects) {
        if (!_serialize(object, data, 0, e)) {
            Error::set(error, e);
            return std::nullopt;
        }
    }
    return data;
}

std::optional<Data> BPDocumentSchema::serializeDelimitedAndCompress(const std::vector<BPObject>& objects,
                                                                    Error* error) const {
    auto data = serializeDelimited(objects, error);
    if (!data) return std::nullopt;
    return BPSnappy::compressData(*data, error);
}

bool BPDocumentSchema::_appendArray(const std::vector<BPObject>& array, Data& into, int depth, Error& error) const {
    fcAppendUnsignedInt64AsVarint(into, array.size());
    for (const auto& element : array)
        if (!_serialize(element, into, depth + 1, error)) return false;
    return true;
}

bool BPDocumentSchema::_serialize(const BPObject& object, Data& into, int depth, Error& error) const {
    if (!object) {
        error = protocolError("Object to serialize must not be nil.");
        return false;
    }
    if (depth > kBPMaxNestingDepth) {
        error = protocolError(
            stringWithFormat("Objects nested deeper than %d levels cannot be written.", kBPMaxNestingDepth));
        return false;
    }
    const std::vector<const BPDocumentTagDefinition*>* defs = tagDefinitionsForClass(object.type());
    if (!defs) {
        if (!object.is<std::string>()) {
            error = protocolError(stringWithFormat("No properties defined in schema for class: %@", object.className()));
            return false;
        }
        defs = &stringTagDefinitions_;
    }

    bool wroteValue = false;
    for (const BPDocumentTagDefinition* def : *defs) {
        BPValue value = def->tag() == BPTagStringRecord ? BPValue(*object.exactly<std::string>())
                                                        : def->property()->get(object.get());
        if (std::holds_alternative<std::monostate>(value)) continue;

        std::size_t tagPosition = into.size();
        fcAppendUint8(into, def->tag());
        bool ok = true;
        switch (def->type()) {
            case BPTagTypeString:
                if (auto s = std::get_if<std::string>(&value)) {
                    fcAppendUnsignedInt64AsVarint(into, s->size());
                    into.insert(into.end(), s->begin(), s->end());
                } else {
                    ok = false;
                }
                break;
            case BPTagTypeData:
                if (auto d = std::get_if<Data>(&value)) {
                    fcAppendUnsignedInt64AsVarint(into, d->size());
                    into.insert(into.end(), d->begin(), d->end());
                } else {
                    ok = false;
                }
                break;
            case BPTagTypeArray:
            case BPTagTypeMutableArray:
                if (auto a = std::get_if<std::vector<BPObject>>(&value)) {
                    if (!_appendArray(*a, into, depth, error)) return false;
                } else {
                    ok = false;
                }
                break;
            case BPTagTypeDouble:
                if (auto d = BPValueDouble(value))
                    fcAppendDoubleAsFixedSize(into, *d);
                else
                    ok = false;
                break;
            case BPTagTypeInteger:
                if (auto i = BPValueInteger(value))
                    fcAppendSignedInt64AsVarint(into, *i);
                else
                    ok = false;
                break;
            case BPTagTypeUnsignedInteger:
                if (auto u = BPValueUnsigned(value))
                    fcAppendUnsignedInt64AsVarint(into, *u);
                else
                    ok = false;
                break;
            case BPTagTypeDateWithSecondsPrecision:
                if (auto d = std::get_if<Date>(&value))
                    fcAppendUnsignedInt64AsVarint(into, fcWholeSecondsSince1970(*d));
                else
                    ok = false;
                break;
            case BPTagTypeBool:
                if (auto i = BPValueInteger(value))
                    fcAppendUint8(into, static_cast<std::uint8_t>(*i & 0xFF));
                else
                    ok = false;
                break;
            case BPTagTypeObject:
                if (auto o = std::get_if<BPObject>(&value)) {
                    if (!_serialize(*o, into, depth + 1, error)) return false;
                } else {
                    ok = false;
                }
                break;
            default:
                ok = false;
                break;
        }
        if (!ok) {
            // A getter whose value does not fit its mapping: a fault of the registry.
            into.resize(tagPosition);
            error = protocolError(stringWithFormat("Invalid tag type: %lu", static_cast<unsigned long>(def->type())));
            return false;
        }
        wroteValue = true;
    }

    if (wroteValue) {
        fcAppendUint8(into, BPTagEndOfRecord);
    } else {
        fcAppendUint8(into, BPTagAllNilPropertiesRecord);
        fcAppendUint8(into, defs->front()->tag());
        fcAppendUint8(into, BPTagEndOfRecord);
    }
    return true;
}

// --- Reading ---

// One parse: reads records at a moving offset and keeps the first error.
// Range failures throw BPRangeException and are caught by the entry point.
class BPDocumentSchema::Reader {
public:
    Reader(const BPDocumentSchema& schema, BPBytes data, std::size_t& offset)
        : schema_(schema), data_(data), offset_(offset) {}

    Error error;

    BPObject readObject(int depth) {
        if (depth > kBPMaxNestingDepth) {
            error = protocolError(stringWithFormat("Records nested deeper than %d levels.", kBPMaxNestingDepth));
            return {};
        }
        BPObject object;
        const BPEntityClass* objectClass = nullptr;
        while (true) {
            if (offset_ >= data_.size()) return object;
            std::uint8_t tag = fcReadUint8StartingAt(data_, offset_);

            if (tag == BPTagAllNilPropertiesRecord) {
                std::uint8_t classTag = fcReadUint8StartingAt(data_, offset_);
                const BPDocumentTagDefinition* def = schema_.tagDefinitionForTag(classTag);
                if (!def) {
                    error = protocolError(stringWithFormat(
                        "No tag definition found for tag: %d when reading all nil-property entity",
                        static_cast<int>(classTag)));
                    return {};
                }
                fcReadUint8StartingAt(data_, offset_);  // the end byte
                return def->entityClass()->newInstance();
            }
            if (tag == BPTagEndOfRecord) return object;

            const BPDocumentTagDefinition* def = tag == BPTagStringRecord ? schema_.stringTagDefinitions_.front()
                                                                          : schema_.tagDefinitionForTag(tag);
            if (!def) {
                error = protocolError(stringWithFormat("Unsupported tag: %d", static_cast<int>(tag)));
                return {};
            }

            if (object) {
                if (def->entityClass() != objectClass || !objectClass) {
                    error = protocolError(stringWithFormat(
                        "Expected tag for class: %@, but got tag: %lu/%@/%@",
                        objectClass ? objectClass->name() : object.className(), static_cast<unsigned long>(tag),
                        nameOf(def->entityClass()), def->propertyName()));
                    return {};
                }
            } else if (tag != BPTagStringRecord) {
                objectClass = def->entityClass();
                object = objectClass->newInstance();
            }

            BPValue value = readValue(*def, depth);
            if (error) return {};
            if (std::holds_alternative<std::monostate>(value)) {
                error = protocolError(stringWithFormat("No value for tag: %lu/%@/%@", static_cast<unsigned long>(tag),
                                                       nameOf(def->entityClass()), def->propertyName()));
                return {};
            }

            if (tag == BPTagStringRecord) {
                object = BPObject::string(std::move(std::get<std::string>(value)));
            } else if (!def->property()->set(object.get(), std::move(value))) {
                // Well-formed, but not what the property holds (say, a card record
                // where statistics belong).
                error = protocolError(stringWithFormat("Value does not fit property for tag: %lu/%@/%@",
                                                       static_cast<unsigned long>(tag), nameOf(def->entityClass()),
                                                       def->propertyName()));
                return {};
            }
        }
    }

private:
    BPValue readValue(const BPDocumentTagDefinition& def, int depth) {
        switch (def.type()) {
            case BPTagTypeString: {
                auto s = fcReadUTF8StringStartingAt(data_, offset_);
                if (!s) return std::monostate{};
                return std::move(*s);
            }
            case BPTagTypeData:
                return fcReadNSDataStartingAt(data_, offset_);
            case BPTagTypeDouble:
                return fcReadDoulbeAsFixedSizeStartingAt(data_, offset_);
            case BPTagTypeInteger:
                return fcReadSignedInt64AsVarintStartingAt(data_, offset_);
            case BPTagTypeUnsignedInteger:
            case BPTagTypeBool:
                return fcReadUnsignedInt64AsVarintStartingAt(data_, offset_);
            case BPTagTypeDateWithSecondsPrecision:
                return Date::fromTimeIntervalSince1970(
                    static_cast<double>(fcReadUnsignedInt64AsVarintStartingAt(data_, offset_)));
            case BPTagTypeArray:
            case BPTagTypeMutableArray:
                return readArray(depth);
            case BPTagTypeObject: {
                BPObject nested = readObject(depth + 1);
                if (!nested) return std::monostate{};
                return nested;
            }
            default:
                error = protocolError(stringWithFormat("Unsupported type '%lu' of tag: %lu%@/%@",
                                                       static_cast<unsigned long>(def.type()),
                                                       static_cast<unsigned long>(def.tag()),
                                                       nameOf(def.entityClass()), def.propertyName()));
                return std::monostate{};
        }
    }

    BPValue readArray(int depth) {
        std::size_t countOffset = offset_;
        std::uint64_t count = fcReadUnsignedInt64AsVarintStartingAt(data_, offset_);
        // Every element takes at least one byte: a count beyond the bytes left
        // is a range failure, found before the array is allocated.
        if (count > data_.size() - offset_)
            throw BPRangeException(stringWithFormat("array count %lu at offset %lu exceeds the %lu bytes left",
                                                    static_cast<unsigned long>(count),
                                                    static_cast<unsigned long>(countOffset),
                                                    static_cast<unsigned long>(data_.size() - offset_)));
        // Room is made for the elements as they are read: a count that the
        // bytes left could hold may still be far more than memory can (each
        // element is much larger in memory than its one byte, and nested
        // arrays may each claim all the bytes left).
        std::vector<BPObject> array;
        array.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, kMaxArrayReservation)));
        for (std::uint64_t i = 0; i < count; ++i) {
            BPObject element = readObject(depth + 1);
            if (!element) return std::monostate{};
            array.push_back(std::move(element));
        }
        return array;
    }

    const BPDocumentSchema& schema_;
    BPBytes data_;
    std::size_t& offset_;
};

BPObject BPDocumentSchema::parse(BPBytes data, Error* error) const {
    std::size_t offset = 0;
    return parseNextObjectIn(data, offset, error);
}

BPObject BPDocumentSchema::parseNextObjectIn(BPBytes data, std::size_t& offset, Error* error) const {
    Error::clear(error);
    Reader reader(*this, data, offset);
    BPObject object;
    try {
        object = reader.readObject(0);
    } catch (const BPRangeException& e) {
        Error::set(error, protocolError(stringWithFormat("Error parsing binary data: %@", e.what())));
        return {};
    } catch (const std::exception& e) {
        // Memory running out (or any other failure) while reading is a read
        // error like any other, never an exception out of a document read.
        Error::set(error, protocolError(stringWithFormat("Error parsing binary data: %@", e.what())));
        return {};
    }
    if (reader.error) {
        Error::set(error, reader.error);
        return {};
    }
    return object;
}

std::optional<std::vector<BPObject>> BPDocumentSchema::parseDelimited(BPBytes data, Error* error) const {
    std::vector<BPObject> objects;
    std::size_t offset = 0;
    while (true) {
        Error e;
        BPObject object = parseNextObjectIn(data, offset, &e);
        if (!object) {
            if (e) {
                Error::set(error, e);
                return std::nullopt;
            }
            return objects;
        }
        objects.push_back(std::move(object));
    }
}

// --- Snappy ---

std::optional<Data> BPSnappy::compressData(BPBytes data, Error* error) {
    Error::clear(error);
    if (data.empty()) return Data();
    // Compressed into a scratch block of the worst-case size, left
    // uninitialised, then copied out at its real size.
    std::unique_ptr<char[]> scratch(new char[snappy::MaxCompressedLength(data.size())]);
    std::size_t length = 0;
    snappy::RawCompress(reinterpret_cast<const char*>(data.data()), data.size(), scratch.get(), &length);
    if (length == 0) {
        Error::set(error, protocolError(stringWithFormat("Got 0 bytes after compressing %lu bytes.",
                                                         static_cast<unsigned long>(data.size()))));
        return std::nullopt;
    }
    return Data(scratch.get(), scratch.get() + length);
}

namespace {

// The length a block states, checked against what its size could hold and,
// for a large one, the whole block validated; nullopt when it fails.
std::optional<std::size_t> checkedUncompressedLength(const char* block, std::size_t blockLength) {
    std::size_t length = 0;
    if (!snappy::GetUncompressedLength(block, blockLength, &length)) return std::nullopt;
    if (length / BPSnappy::kMaxExpansionFactor > blockLength) return std::nullopt;
    if (length > BPSnappy::kValidateFirstLength && !snappy::IsValidCompressedBuffer(block, blockLength))
        return std::nullopt;
    return length;
}

}  // namespace


namespace {

// Uncompresses the block after `skip` into what `make(length)` gives.
template <class Out, class Make>
std::optional<Out> uncompressInto(BPBytes data, std::size_t skip, Error* error, Make make) {
    Error::clear(error);
    if (data.empty() || data.size() <= skip) return make(0);
    const char* block = reinterpret_cast<const char*>(data.data()) + skip;
    const std::size_t blockLength = data.size() - skip;
    auto fail = [&]() -> std::nullopt_t {
        Error::set(error, protocolError(stringWithFormat("Failed to uncompress %lu bytes.",
                                                         static_cast<unsigned long>(data.size()))));
        return std::nullopt;
    };
    const auto length = checkedUncompressedLength(block, blockLength);
    if (!length) return fail();
    try {
        Out out = make(*length);
        if (*length > 0 && !snappy::RawUncompress(block, blockLength, reinterpret_cast<char*>(out.data())))
            return fail();
        return out;
    } catch (const std::bad_alloc&) {
        return fail();
    }
}

}  // namespace

std::optional<BPSnappy::Block> BPSnappy::uncompressBlock(BPBytes data, std::size_t skip, Error* error) {
    // Not zero-filled: every byte is written or the block fails.
    return uncompressInto<Block>(data, skip, error, [](std::size_t length) { return Block(length); });
}

std::optional<Data> BPSnappy::uncompressData(BPBytes data, std::size_t skip, Error* error) {
    return uncompressInto<Data>(data, skip, error, [](std::size_t length) { return Data(length); });
}
