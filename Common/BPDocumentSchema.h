#pragma once

// Tagged binary records: a schema maps named properties of model classes to
// one-byte tags, each with a value type. An object is written as a record of
// tagged values closed by a 0 byte; a property holding an object is a nested
// record; an array property is a count followed by one record per element; a
// list of objects is written as records back to back (the delimited form),
// optionally compressed as one raw Snappy block.
//
// The byte layout is shared with every other reader and writer of deck
// documents; see BPDataAdditions.h for the primitive encodings.
//
// Records come from files a user can hand us: every size and count read is
// checked against the bytes left before anything is allocated, and records
// nest at most kBPMaxNestingDepth levels (the writer refuses deeper graphs, so
// that it never writes what the reader would refuse).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "Common/BPDataAdditions.h"
#include "Common/BPEntityClass.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"

// Every error of the record layer: this domain, code -1, the message under the
// localized-description key.
inline constexpr const char* BPBinaryProtocolErrorDomain = "BPBinaryProtocol";

// The deepest nesting of records that is read or written: the top-level
// record is level 0, each nested object or array element one level more.
inline constexpr int kBPMaxNestingDepth = 128;

// Value type codes of the tag definitions; stored in the file format's sense
// (the encoding after the tag byte).
enum BPTagType : std::uint64_t {
    BPTagTypeString = 0,
    BPTagTypeArray = 1,
    BPTagTypeDouble = 2,
    BPTagTypeInteger = 3,
    BPTagTypeUnsignedInteger = 4,
    BPTagTypeDateWithSecondsPrecision = 5,
    BPTagTypeMutableArray = 6,
    BPTagTypeObject = 7,
    BPTagTypeBool = 8,
    BPTagTypeData = 9,
};

// Wire tags below the mapped range.
enum : std::uint8_t {
    BPTagEndOfRecord = 0,
    BPTagAllNilPropertiesRecord = 1,  // followed by the class's first tag and the end byte
    BPTagStringRecord = 2,            // the record is a bare string
    BPFirstMappableTag = 10,          // 3-9 are reserved
};

class BPDocumentTagDefinition {
public:
    static BPDocumentTagDefinition definitionWithTag(std::uint8_t tag, std::uint64_t type,
                                                     std::optional<std::string> propertyName,
                                                     const BPEntityClass* entityClass);

    std::uint8_t tag() const { return tag_; }
    std::uint64_t type() const { return type_; }
    const std::optional<std::string>& propertyName() const { return propertyName_; }
    // nullptr for the string definition.
    const BPEntityClass* entityClass() const { return entityClass_; }
    // The registry's property (nullptr for the string definition).
    const BPPropertyDescription* property() const { return property_; }

    // Two definitions are equal when their tags are.
    bool operator==(const BPDocumentTagDefinition& other) const { return tag_ == other.tag_; }
    std::size_t hash() const { return tag_; }

private:
    friend class BPDocumentSchema;

    std::uint8_t tag_ = 0;
    std::uint64_t type_ = 0;
    std::optional<std::string> propertyName_;
    const BPEntityClass* entityClass_ = nullptr;
    const BPPropertyDescription* property_ = nullptr;
};

// A schema: tags mapped to properties of entity classes. Subclasses map their
// properties in their constructor; afterwards a schema is only read, so one
// schema may serialise and parse on several threads at once.
class BPDocumentSchema {
public:
    BPDocumentSchema();
    virtual ~BPDocumentSchema();
    BPDocumentSchema(const BPDocumentSchema&) = delete;
    BPDocumentSchema& operator=(const BPDocumentSchema&) = delete;

    // --- Mapping ---
    // Each maps the property (declared by the class itself with a fitting
    // kind) to a tag of 10 or above that is not mapped yet. A wrong mapping is
    // a programming error: it logs a line beginning "ERROR: " and stops the
    // process.
    void mapNSStringProperty(const std::string& property, std::uint8_t tag, const BPEntityClass& entityClass);
    void mapNSArrayProperty(const std::string& property, std::uint8_t tag, const BPEntityClass& entityClass);
    void mapDoubleProperty(const std::string& property, std::uint8_t tag, const BPEntityClass& entityClass);
    void mapNSIntegerProperty(const std::string& property, std::uint8_t tag, const BPEntityClass& entityClass);
    void mapNSUIntegerProperty(const std::string& property, std::uint8_t tag, const BPEntityClass& entityClass);
    void mapNSDateWithSecondsPrecisionProperty(const std::string& property, std::uint8_t tag,
                                               const BPEntityClass& entityClass);
    void mapNSMutableArrayProperty(const std::string& property, std::uint8_t tag, const BPEntityClass& entityClass);
    void mapObjectProperty(const std::string& property, std::uint8_t tag, const BPEntityClass& entityClass);
    void mapBOOLProperty(const std::string& property, std::uint8_t tag, const BPEntityClass& entityClass);
    void mapNSDataProperty(const std::string& property, std::uint8_t tag, const BPEntityClass& entityClass);

    // One more than the highest tag mapped so far, at least 10 (an 8-bit tag).
    std::uint8_t nextAvailableTag_useForTransientDocumentsOnly() const;

    // --- Writing ---
    // One object's record.
    std::optional<Data> serialize(const BPObject& object, Error* error = nullptr) const;
    // The records of the objects back to back.
    std::optional<Data> serializeDelimited(const std::vector<BPObject>& objects, Error* error = nullptr) const;
    // The delimited form compressed as one raw Snappy block.
    std::optional<Data> serializeDelimitedAndCompress(const std::vector<BPObject>& objects,
                                                      Error* error = nullptr) const;

    // --- Reading ---
    // One record from offset 0. A null object without an error when there is
    // no record (empty data, or a 0 byte where the record would begin).
    BPObject parse(BPBytes data, Error* error = nullptr) const;
    // One record from the offset, which is left just behind it; callers read
    // several records of one buffer by passing the same offset on. After a
    // failure the offset is not meaningful.
    BPObject parseNextObjectIn(BPBytes data, std::size_t& offset, Error* error = nullptr) const;
    // All records of a delimited stream, in order. Unlike the other
    // operations it leaves the caller's error alone unless it fails.
    std::optional<std::vector<BPObject>> parseDelimited(BPBytes data, Error* error = nullptr) const;

    // --- Tables ---
    // The definition of a mapped tag, or nullptr.
    const BPDocumentTagDefinition* tagDefinitionForTag(std::uint8_t tag) const { return tagDefinitionByTag_[tag]; }
    // A class's definitions in mapping order (the write order), or nullptr.
    const std::vector<const BPDocumentTagDefinition*>* tagDefinitionsForClass(std::type_index type) const;
    // The name of the object's class: the entity class's name when the schema
    // maps the class, else the object's own class name.
    std::string classNameOfObject(const BPObject& object) const;
    // Exactly one definition: tag 2, type 0, no property, no class.
    const std::vector<const BPDocumentTagDefinition*>& stringTagDefinitions() const { return stringTagDefinitions_; }

protected:
    void _mappProperty(const std::string& property, std::uint64_t type, std::uint8_t tag,
                       const BPEntityClass& entityClass);

private:
    class Reader;

    bool _serialize(const BPObject& object, Data& into, int depth, Error& error) const;
    bool _appendArray(const std::vector<BPObject>& array, Data& into, int depth, Error& error) const;
    static bool _verifyType(std::uint64_t type, const BPPropertyDescription& property);

    std::deque<BPDocumentTagDefinition> definitions_;  // stable addresses
    const BPDocumentTagDefinition* tagDefinitionByTag_[256] = {};
    std::unordered_map<std::type_index, std::vector<const BPDocumentTagDefinition*>> tagDefinitionsByClass_;
    std::vector<const BPDocumentTagDefinition*> stringTagDefinitions_;
    int highestMappedTag_ = 0;
};

// Raw Snappy blocks (one block, no stream framing).
class BPSnappy {
public:
    // Empty input gives empty data.
    static std::optional<Data> compressData(BPBytes data, Error* error = nullptr);
    // Uncompresses the bytes from `skip` to the end as one block; input of
    // length 0 or not longer than `skip` gives empty data. A block whose
    // stated length is impossible for its size, or whose bytes are not a valid
    // block, fails with "Failed to uncompress %lu bytes.". Nothing is
    // allocated for a block of an impossible length, nor for an invalid one
    // that states more than kValidateFirstLength bytes (such a block is
    // checked whole first); a smaller one is checked as it is uncompressed.
    static std::optional<Data> uncompressData(BPBytes data, std::size_t skip, Error* error = nullptr);
    static std::optional<Data> uncompressData(BPBytes data, Error* error = nullptr) {
        return uncompressData(data, 0, error);
    }

    // Uncompressed bytes in memory that is not zero-filled first.
    using Block = BPBlock;
    // The same as uncompressData, into a Block.
    static std::optional<Block> uncompressBlock(BPBytes data, std::size_t skip, Error* error = nullptr);

    // No valid block expands its input by more than this factor (Snappy's
    // densest element, a 64-byte copy in 3 bytes, expands about 21 times).
    static constexpr std::size_t kMaxExpansionFactor = 32;
    // Blocks stating more than this are validated before their output is
    // allocated; smaller ones in the same pass that uncompresses them.
    static constexpr std::size_t kValidateFirstLength = 64u << 20;
};
