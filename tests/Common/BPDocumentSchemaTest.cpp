#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Common/BPDataAdditions.h"
#include "Common/BPDocumentSchema.h"
#include "support/ChildProcess.h"

namespace {

// --- A small object graph of its own ---

struct Note {
    std::optional<std::string> name;
    std::optional<std::string> stringValue;
    std::optional<Date> dateValue;
    std::int64_t integerValue = 0;
};

struct Box {
    std::optional<std::vector<BPObject>> items;
    BPObject child;
    std::optional<std::string> label;
};

struct Gauge {
    double weight = 0;
    std::uint64_t count = 0;
    bool flag = false;
    std::optional<Data> blob;
    std::optional<std::vector<BPObject>> tags;
};

struct Unmapped {};

using K = BPPropertyKind;

template <class T>
void stringProperty(BPEntityClass& c, const char* name, std::optional<std::string> T::*m) {
    c.property<T>(
        name, K::String, [m](const T& o) { return BPValueFromOptionalString(o.*m); },
        [m](T& o, BPValue&& v) {
            auto s = std::get_if<std::string>(&v);
            if (s) o.*m = *s;
            return s != nullptr;
        });
}

template <class T>
void arrayProperty(BPEntityClass& c, const char* name, K kind, std::optional<std::vector<BPObject>> T::*m) {
    c.property<T>(
        name, kind, [m](const T& o) -> BPValue { return o.*m ? BPValue(*(o.*m)) : BPValue(); },
        [m](T& o, BPValue&& v) {
            auto a = std::get_if<std::vector<BPObject>>(&v);
            if (a) o.*m = *a;
            return a != nullptr;
        });
}

const BPEntityClass& noteClass() {
    static const BPEntityClass c = [] {
        auto c = BPEntityClass::describing<Note>("Note");
        stringProperty(c, "name", &Note::name);
        stringProperty(c, "stringValue", &Note::stringValue);
        c.property<Note>(
            "dateValue", K::Date, [](const Note& n) -> BPValue { return n.dateValue ? BPValue(*n.dateValue) : BPValue(); },
            [](Note& n, BPValue&& v) {
                n.dateValue = std::get<Date>(v);
                return true;
            });
        c.property<Note>(
            "integerValue", K::Long, [](const Note& n) -> BPValue { return n.integerValue; },
            [](Note& n, BPValue&& v) {
                n.integerValue = *BPValueInteger(v);
                return true;
            });
        return c;
    }();
    return c;
}

const BPEntityClass& boxClass() {
    static const BPEntityClass c = [] {
        auto c = BPEntityClass::describing<Box>("Box");
        arrayProperty(c, "items", K::MutableArray, &Box::items);
        c.property<Box>(
            "child", K::Object, [](const Box& b) -> BPValue { return b.child ? BPValue(b.child) : BPValue(); },
            [](Box& b, BPValue&& v) {
                b.child = std::get<BPObject>(v);
                return true;
            });
        stringProperty(c, "label", &Box::label);
        return c;
    }();
    return c;
}

const BPEntityClass& gaugeClass() {
    static const BPEntityClass c = [] {
        auto c = BPEntityClass::describing<Gauge>("Gauge");
        c.property<Gauge>(
            "weight", K::Double, [](const Gauge& g) -> BPValue { return g.weight; },
            [](Gauge& g, BPValue&& v) {
                g.weight = *BPValueDouble(v);
                return true;
            });
        c.property<Gauge>(
            "count", K::UnsignedLong, [](const Gauge& g) -> BPValue { return g.count; },
            [](Gauge& g, BPValue&& v) {
                g.count = *BPValueUnsigned(v);
                return true;
            });
        c.property<Gauge>(
            "flag", K::Bool, [](const Gauge& g) -> BPValue { return std::uint64_t(g.flag); },
            [](Gauge& g, BPValue&& v) {
                g.flag = *BPValueUnsigned(v) != 0;
                return true;
            });
        c.property<Gauge>(
            "blob", K::Data, [](const Gauge& g) -> BPValue { return g.blob ? BPValue(*g.blob) : BPValue(); },
            [](Gauge& g, BPValue&& v) {
                g.blob = std::get<Data>(v);
                return true;
            });
        arrayProperty(c, "tags", K::Array, &Gauge::tags);
        return c;
    }();
    return c;
}

class TestSchema : public BPDocumentSchema {
public:
    TestSchema() {
        mapNSMutableArrayProperty("items", 10, boxClass());
        mapNSStringProperty("name", 11, noteClass());
        mapNSStringProperty("stringValue", 12, noteClass());
        mapNSDateWithSecondsPrecisionProperty("dateValue", 13, noteClass());
        mapNSIntegerProperty("integerValue", 14, noteClass());
        mapObjectProperty("child", 15, boxClass());
        mapNSStringProperty("label", 16, boxClass());
        mapDoubleProperty("weight", 17, gaugeClass());
        mapNSUIntegerProperty("count", 18, gaugeClass());
        mapBOOLProperty("flag", 19, gaugeClass());
        mapNSDataProperty("blob", 20, gaugeClass());
        mapNSArrayProperty("tags", 21, gaugeClass());
    }
};

Data bytes(std::initializer_list<int> list) {
    Data d;
    for (int b : list) d.push_back(static_cast<std::uint8_t>(b));
    return d;
}

std::string hex(const Data& d) { return fcHexadecimalString(d); }

BPObject note(std::optional<std::string> name, std::int64_t integerValue = 0) {
    auto n = std::make_shared<Note>();
    n->name = std::move(name);
    n->integerValue = integerValue;
    return BPObject::of(n);
}

BPObject box(std::vector<BPObject> items) {
    auto b = std::make_shared<Box>();
    b->items = std::move(items);
    return BPObject::of(b);
}

std::string message(const Error& e) { return e.localizedDescription(); }

}  // namespace

// --- Writing ---

TEST(BPDocumentSchema, RecordLayoutMatchesTheFormat) {
    TestSchema schema;
    // A note with a name and an integer; the nil string and date are left out.
    EXPECT_EQ(hex(*schema.serialize(note("abc", 5))), "0b036162630e0a00");
    // In an array property: the count, the element records, then the end byte.
    EXPECT_EQ(hex(*schema.serialize(box({note("abc", 5)}))), "0a010b036162630e0a0000");
    // An empty string is written with a zero count; an empty array as its count 0.
    EXPECT_EQ(hex(*schema.serialize(note(""))), "0b000e0000");
    EXPECT_EQ(hex(*schema.serialize(box({}))), "0a0000");
    // A string element is a string record.
    EXPECT_EQ(hex(*schema.serialize(box({BPObject::string("hi")}))), "0a010202686900" "00");

    // Scalars of every kind: double little-endian, unsigned varint, one BOOL byte, data.
    auto g = std::make_shared<Gauge>();
    g->weight = 1.5;
    g->count = 300;
    g->flag = true;
    g->blob = bytes({0xde, 0xad});
    EXPECT_EQ(hex(*schema.serialize(BPObject::of(g))), "11000000000000f83f" "12ac02" "1301" "1402dead" "00");
}

TEST(BPDocumentSchema, AllNilRecordIsTheEmptyMarkerAndReadsBackBetweenOtherRecords) {
    TestSchema schema;
    auto empty = std::make_shared<Box>();
    EXPECT_EQ(hex(*schema.serialize(BPObject::of(empty))), "010a00");

    // The marker inside an array, followed by another element, inside a box
    // followed by a further property; then a second record in the same stream.
    auto outer = std::make_shared<Box>();
    outer->items = std::vector<BPObject>{BPObject::of(std::make_shared<Box>()), note("n")};
    outer->label = "after";
    auto stream = schema.serializeDelimited({BPObject::of(outer), BPObject::of(std::make_shared<Box>()), note("x")});
    ASSERT_TRUE(stream);

    Error error;
    auto objects = schema.parseDelimited(*stream, &error);
    ASSERT_TRUE(objects) << error.description();
    ASSERT_EQ(objects->size(), 3u);
    auto readOuter = (*objects)[0].exactly<Box>();
    ASSERT_TRUE(readOuter);
    ASSERT_EQ(readOuter->items->size(), 2u);
    auto inner = (*readOuter->items)[0].exactly<Box>();
    ASSERT_TRUE(inner);
    EXPECT_FALSE(inner->items);
    EXPECT_EQ((*readOuter->items)[1].exactly<Note>()->name, "n");
    EXPECT_EQ(readOuter->label, "after");
    EXPECT_TRUE((*objects)[1].is<Box>());
    EXPECT_EQ((*objects)[2].exactly<Note>()->name, "x");
}

TEST(BPDocumentSchema, DatesKeepWholeSecondsSince1970) {
    TestSchema schema;
    struct Case {
        double since1970;
        double readBack;
    } cases[] = {{1.9, 1}, {-0.5, 0}, {-86400 * 365.0, 0}, {1700000000.75, 1700000000}, {NAN, 0}};
    for (const auto& c : cases) {
        auto n = std::make_shared<Note>();
        n->dateValue = Date::fromTimeIntervalSince1970(c.since1970);
        Error error;
        auto read = schema.parse(*schema.serialize(BPObject::of(n)), &error).exactly<Note>();
        ASSERT_TRUE(read) << error.description();
        EXPECT_EQ(read->dateValue->timeIntervalSince1970(), c.readBack) << c.since1970;
    }
}

TEST(BPDocumentSchema, RoundTripKeepsEveryValueType) {
    TestSchema schema;
    auto g = std::make_shared<Gauge>();
    g->weight = -0.1;
    g->count = std::numeric_limits<std::uint64_t>::max();
    g->flag = true;
    g->blob = Data();
    g->tags = std::vector<BPObject>{BPObject::string("ä"), note("n", std::numeric_limits<std::int64_t>::min())};
    auto b = std::make_shared<Box>();
    b->child = BPObject::of(g);
    b->items = std::vector<BPObject>{};

    Error error;
    auto read = schema.parse(*schema.serialize(BPObject::of(b)), &error).exactly<Box>();
    ASSERT_TRUE(read) << error.description();
    auto rg = read->child.exactly<Gauge>();
    ASSERT_TRUE(rg);
    EXPECT_EQ(rg->weight, -0.1);
    EXPECT_EQ(rg->count, g->count);
    EXPECT_TRUE(rg->flag);
    EXPECT_EQ(rg->blob, Data());
    ASSERT_EQ(rg->tags->size(), 2u);
    EXPECT_EQ(*(*rg->tags)[0].exactly<std::string>(), "ä");
    EXPECT_EQ((*rg->tags)[1].exactly<Note>()->integerValue, std::numeric_limits<std::int64_t>::min());
    EXPECT_TRUE(read->items && read->items->empty());
}

TEST(BPDocumentSchema, WriteFailures) {
    TestSchema schema;
    Error error;
    EXPECT_FALSE(schema.serialize(box({BPObject::of(std::make_shared<Unmapped>())}), &error));
    EXPECT_EQ(error.domain(), BPBinaryProtocolErrorDomain);
    EXPECT_EQ(error.code(), -1);
    EXPECT_EQ(message(error), "No properties defined in schema for class: (anonymous namespace)::Unmapped");

    EXPECT_FALSE(schema.serializeDelimited({note("a"), BPObject()}, &error));
    EXPECT_EQ(message(error), "Object to serialize must not be nil.");
}

TEST(BPDocumentSchema, NestingDepthIsTheSameLimitForWritingAndReading) {
    TestSchema schema;
    auto chain = [](int records) {
        auto top = std::make_shared<Box>();
        auto at = top;
        for (int i = 1; i < records; ++i) {
            auto next = std::make_shared<Box>();
            at->child = BPObject::of(next);
            at = next;
        }
        at->label = "bottom";
        return top;
    };
    // Levels 0 to kBPMaxNestingDepth are allowed.
    Error error;
    auto deepest = schema.serialize(BPObject::of(chain(kBPMaxNestingDepth + 1)), &error);
    ASSERT_TRUE(deepest) << error.description();
    EXPECT_TRUE(schema.parse(*deepest, &error)) << error.description();

    EXPECT_FALSE(schema.serialize(BPObject::of(chain(kBPMaxNestingDepth + 2)), &error));
    EXPECT_EQ(message(error), "Objects nested deeper than 128 levels cannot be written.");

    // A cycle is refused the same way instead of recursing forever.
    auto cyclic = std::make_shared<Box>();
    cyclic->child = BPObject::of(cyclic);
    EXPECT_FALSE(schema.serialize(BPObject::of(cyclic), &error));
    cyclic->child = BPObject();
}

TEST(BPDocumentSchema, NextAvailableTag) {
    BPDocumentSchema empty;
    EXPECT_EQ(empty.nextAvailableTag_useForTransientDocumentsOnly(), 10);
    TestSchema schema;
    EXPECT_EQ(schema.nextAvailableTag_useForTransientDocumentsOnly(), 22);
}

TEST(BPDocumentSchemaDeathTest, WrongMappingsStopTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        std::function<void(BPDocumentSchema&)> map;
        const char* message;
    } cases[] = {
        {[](BPDocumentSchema& s) { s.mapNSStringProperty("", 20, noteClass()); },
         "ERROR: Property name and entity class are required"},
        {[](BPDocumentSchema& s) { s.mapNSStringProperty("name", 9, noteClass()); },
         "ERROR: The tag '9' is within the range of reserved tags and cannot be used for: Note/name"},
        {[](BPDocumentSchema& s) { s.mapNSStringProperty("label", 11, boxClass()); },
         "ERROR: The tag '11' is already defined for: Note/name and cannot be used for: Box/label"},
        {[](BPDocumentSchema& s) { s.mapNSIntegerProperty("name", 30, noteClass()); },
         "ERROR: The property 'Note.name' is not of type: 3!"},
        {[](BPDocumentSchema& s) { s.mapNSArrayProperty("items", 30, boxClass()); },
         "ERROR: The property 'Box.items' is not of type: 1!"},
        {[](BPDocumentSchema& s) { s.mapNSStringProperty("missing", 30, noteClass()); },
         "ERROR: The property 'Note.missing' is not of type: 0!"},
    };
    for (const auto& c : cases) {
        TestSchema schema;
        EXPECT_DEATH(c.map(schema), c.message);
    }
}

// --- Reading ---

TEST(BPDocumentSchema, ParsesTheFormatsExampleRecords) {
    TestSchema schema;
    Error error;
    auto b = schema.parse(bytes({0x0a, 0x01, 0x0b, 0x03, 0x61, 0x62, 0x63, 0x0e, 0x0a, 0x00, 0x00}), &error)
                 .exactly<Box>();
    ASSERT_TRUE(b) << error.description();
    ASSERT_EQ(b->items->size(), 1u);
    auto n = (*b->items)[0].exactly<Note>();
    EXPECT_EQ(n->name, "abc");
    EXPECT_EQ(n->integerValue, 5);
    EXPECT_FALSE(n->stringValue);
}

TEST(BPDocumentSchema, EndsOfDataAndRecords) {
    TestSchema schema;
    Error error;
    // Data ending between two properties gives the object read so far.
    auto n = schema.parse(bytes({0x0b, 0x01, 0x61}), &error).exactly<Note>();
    ASSERT_TRUE(n);
    EXPECT_FALSE(error);
    EXPECT_EQ(n->name, "a");
    // No data, or an end byte where a record would begin: no object, no error.
    EXPECT_FALSE(schema.parse(Data(), &error));
    EXPECT_FALSE(error);
    auto list = schema.parseDelimited(bytes({0x0b, 0x01, 0x61, 0x00, 0x00, 0x0b, 0x01, 0x62, 0x00}), &error);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->size(), 1u);

    // Several records of one buffer are read by passing the offset on.
    Data two = bytes({0x0b, 0x01, 0x61, 0x00, 0x0a, 0x00, 0x00});
    std::size_t offset = 0;
    EXPECT_TRUE(schema.parseNextObjectIn(two, offset).is<Note>());
    EXPECT_EQ(offset, 4u);
    EXPECT_TRUE(schema.parseNextObjectIn(two, offset).is<Box>());
    EXPECT_EQ(offset, 7u);

    // An empty list writes, compresses and parses as nothing.
    auto compressed = schema.serializeDelimitedAndCompress({});
    ASSERT_TRUE(compressed);
    EXPECT_TRUE(compressed->empty());
    EXPECT_TRUE(schema.parseDelimited(*BPSnappy::uncompressData(*compressed))->empty());
}

TEST(BPDocumentSchema, ParseDelimitedLeavesTheCallersErrorAloneOnSuccess) {
    TestSchema schema;
    Error error("Earlier", 7);
    EXPECT_TRUE(schema.parseDelimited(bytes({0x0b, 0x00, 0x00}), &error));
    EXPECT_EQ(error.domain(), "Earlier");
}

// Every malformed record fails with a record-layer error: no crash, no huge
// allocation, no object.
TEST(BPDocumentSchema, HostileRecordsFailCleanly) {
    TestSchema schema;
    auto repeat = [](Data unit, std::size_t times, Data tail) {
        Data d;
        for (std::size_t i = 0; i < times; ++i) d.insert(d.end(), unit.begin(), unit.end());
        d.insert(d.end(), tail.begin(), tail.end());
        return d;
    };
    struct Case {
        const char* what;
        Data data;
        std::string message;  // the start of the error's description
    } cases[] = {
        {"string ends early", bytes({0x0b, 0x05, 0x61, 0x62}), "Error parsing binary data: "},
        {"string count near 2^63", bytes({0x0b, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f, 0x61}),
         "Error parsing binary data: "},
        {"data count of 2^64-1", bytes({0x14, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01}),
         "Error parsing binary data: "},
        {"array count of 2^32", bytes({0x0a, 0x80, 0x80, 0x80, 0x80, 0x10, 0x0b, 0x00, 0x00}),
         "Error parsing binary data: "},
        {"double ends early", bytes({0x11, 0x00, 0x00, 0x00}), "Error parsing binary data: "},
        {"varint of 11 bytes", bytes({0x0e, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01}),
         "Error parsing binary data: "},
        {"varint ends early", bytes({0x0e, 0x80}), "Error parsing binary data: "},
        {"empty marker ends early", bytes({0x01, 0x0b}), "Error parsing binary data: "},
        {"reserved tag", bytes({0x05}), "Unsupported tag: 5"},
        {"unmapped tag", bytes({0x0b, 0x00, 0xc8, 0x00}), "Unsupported tag: 200"},
        {"empty marker of unknown class", bytes({0x01, 0x63, 0x00}),
         "No tag definition found for tag: 99 when reading all nil-property entity"},
        {"bytes that are not UTF-8", bytes({0x0b, 0x02, 0xc3, 0x28, 0x00}), "No value for tag: 11/Note/name"},
        {"tag of another class", bytes({0x0b, 0x01, 0x61, 0x0a, 0x00, 0x00}),
         "Expected tag for class: Note, but got tag: 10/Box/items"},
        {"string record with a property", bytes({0x02, 0x01, 0x61, 0x0b, 0x01, 0x61, 0x00}),
         "Expected tag for class: NSString, but got tag: 11/Note/name"},
        {"nested record that is empty", bytes({0x0f, 0x00, 0x00}), "No value for tag: 15/Box/child"},
        {"array element that is empty", bytes({0x0a, 0x01, 0x00, 0x00}), "No value for tag: 10/Box/items"},
        {"objects nested 10000 deep", repeat(bytes({0x0f}), 10000, bytes({0x10, 0x00})),
         "Records nested deeper than 128 levels."},
        {"arrays nested 10000 deep", repeat(bytes({0x0a, 0x01}), 10000, bytes({0x0a, 0x00})),
         "Records nested deeper than 128 levels."},
    };
    for (const auto& c : cases) {
        Error error;
        std::size_t offset = 0;
        EXPECT_FALSE(schema.parseNextObjectIn(c.data, offset, &error)) << c.what;
        EXPECT_EQ(error.domain(), BPBinaryProtocolErrorDomain) << c.what;
        EXPECT_EQ(error.code(), -1) << c.what;
        EXPECT_EQ(message(error).substr(0, c.message.size()), c.message) << c.what << ": " << message(error);
        EXPECT_FALSE(schema.parseDelimited(c.data)) << c.what;
    }
}

TEST(BPDocumentSchema, ArrayCountsThatTheBytesCouldHoldClaimNoMemoryBeforeTheirElements) {
    // Arrays nested 60 deep, each counting every byte after its count, the
    // innermost element empty: the reading must fail on that element, not
    // on memory claimed for elements that never come (60 x 512 KB counts would
    // claim gigabytes).
    constexpr std::size_t kSize = 512 * 1024;
    constexpr std::size_t kLevels = 60;
    Data d(kSize, 0);
    for (std::size_t i = 0; i < kLevels; ++i) {
        const std::size_t at = i * 4;
        const std::size_t count = kSize - (at + 4);
        d[at] = 0x0a;  // Box.items: the element is a box whose first tag is items again
        d[at + 1] = static_cast<std::uint8_t>((count & 0x7f) | 0x80);
        d[at + 2] = static_cast<std::uint8_t>(((count >> 7) & 0x7f) | 0x80);
        d[at + 3] = static_cast<std::uint8_t>(count >> 14);
    }
    auto outcome = memorant_test::runInChildWithMemoryBudget(256u << 20, [&] {
        TestSchema schema;
        Error error;
        std::size_t offset = 0;
        if (schema.parseNextObjectIn(d, offset, &error)) return false;
        return message(error) == "No value for tag: 10/Box/items";
    });
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 0);
}

// Every prefix and every single-byte change of a record that uses all value
// types parses to an object or fails with an error, never both, never a crash.
TEST(BPDocumentSchema, TruncatedAndAlteredRecordsNeverCrash) {
    TestSchema schema;
    auto g = std::make_shared<Gauge>();
    g->weight = 2.25;
    g->count = 70000;
    g->blob = bytes({1, 2, 3});
    g->tags = std::vector<BPObject>{BPObject::string("t")};
    auto n = std::make_shared<Note>();
    n->name = "name";
    n->stringValue = "value";
    n->dateValue = Date::fromTimeIntervalSince1970(1e9);
    n->integerValue = -42;
    auto inner = std::make_shared<Box>();
    inner->label = "inner";
    auto b = std::make_shared<Box>();
    b->items = std::vector<BPObject>{BPObject::of(n), BPObject::string("s"), BPObject::of(g)};
    b->child = BPObject::of(inner);
    b->label = "outer";
    const Data record = *schema.serialize(BPObject::of(b));

    auto check = [&](const Data& data, const std::string& what) {
        Error error;
        BPObject object = schema.parse(data, &error);
        EXPECT_FALSE(object && error) << what;
        EXPECT_TRUE(object || error || data.empty() || data[0] == 0) << what;
        if (error) {
            EXPECT_EQ(error.domain(), BPBinaryProtocolErrorDomain) << what;
        }
    };
    for (std::size_t length = 0; length < record.size(); ++length)
        check(Data(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(length)),
              "prefix of " + std::to_string(length));
    for (std::size_t i = 0; i < record.size(); ++i) {
        for (std::uint8_t value : {0x00, 0x01, 0x02, 0x0a, 0x0f, 0x7f, 0x80, 0xff}) {
            Data altered = record;
            altered[i] = value;
            check(altered, "byte " + std::to_string(i) + " = " + std::to_string(value));
        }
    }
}

// --- Snappy ---

TEST(BPSnappy, CompressesOneRawBlockAndRefusesDamagedOnes) {
    Data plain;
    for (int i = 0; i < 5000; ++i) plain.push_back(static_cast<std::uint8_t>("flashcard"[i % 9]));
    auto block = BPSnappy::compressData(plain);
    ASSERT_TRUE(block);
    // A raw block begins with the varint of the uncompressed length (5000 = 88 27).
    EXPECT_EQ((*block)[0], 0x88);
    EXPECT_EQ((*block)[1], 0x27);
    EXPECT_EQ(*BPSnappy::uncompressData(*block), plain);

    // The block may follow other bytes that are skipped.
    Data prefixed = bytes({0xaa, 0xbb});
    prefixed.insert(prefixed.end(), block->begin(), block->end());
    EXPECT_EQ(*BPSnappy::uncompressData(prefixed, 2), plain);
    EXPECT_TRUE(BPSnappy::uncompressData(prefixed, prefixed.size())->empty());
    EXPECT_TRUE(BPSnappy::uncompressData(Data())->empty());
    EXPECT_TRUE(BPSnappy::compressData(Data())->empty());

    Data truncated(block->begin(), block->end() - 3);
    Data garbage = bytes({0x05, 0xff, 0xff, 0xff, 0xff, 0xff});
    // A stated length of 2^40 bytes for a block of 7 bytes.
    Data impossible = bytes({0x80, 0x80, 0x80, 0x80, 0x80, 0x20, 0x00});
    // A stated length that the elements do not fill.
    Data shortElements = bytes({0x0a, 0x08, 'a', 'b', 'c'});
    Data overlongLength = bytes({0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01});
    for (const Data* bad : {&truncated, &garbage, &impossible, &shortElements, &overlongLength}) {
        Error error;
        EXPECT_FALSE(BPSnappy::uncompressData(*bad, &error)) << hex(*bad);
        EXPECT_EQ(error.domain(), BPBinaryProtocolErrorDomain);
        EXPECT_EQ(message(error), "Failed to uncompress " + std::to_string(bad->size()) + " bytes.");
    }
    Error error;
    EXPECT_FALSE(BPSnappy::uncompressData(prefixed, 1, &error));
    EXPECT_EQ(message(error), "Failed to uncompress " + std::to_string(prefixed.size()) + " bytes.");
}
