#include "Panel/Engine/VB05Common/Platform/VB05DBusClient.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <regex>
#include <string>
#include <unordered_map>
#include <vector>

namespace
{
using namespace Vx::VB05;
using VxTest::CaptureStderr;
using Appender = std::function<void(DBusMessageIter*)>;
using Dict = std::unordered_map<std::string, Vx::Variant>;

// The conversion's header and source (an assertion names the file only).
constexpr char kSourceFile[] = "VB05DBusClient.";

// A received message is read the same way as one built here.
DBusMessagePtr Build(const Appender& append)
{
    DBusMessagePtr message = DBusMessagePtr::Adopt(dbus_message_new_signal("/vx/test", "vx.test.Args", "Args"));
    DBusMessageIter iterator;
    dbus_message_iter_init_append(message.Get(), &iterator);
    append(&iterator);
    return message;
}

DBusMessageIter Reader(const DBusMessagePtr& message)
{
    DBusMessageIter iterator;
    dbus_message_iter_init(message.Get(), &iterator);
    return iterator;
}

int CountAssertions(const std::string& err)
{
    int count = 0;
    const std::string marker = std::string("JUCE Assertion failure in ") + kSourceFile;
    for (std::size_t at = err.find(marker); at != std::string::npos; at = err.find(marker, at + 1))
        ++count;
    return count;
}

// The value wrapped in that many variants.
Appender Wrapped(int levels, const std::string& signature, const Appender& inner)
{
    return [=](DBusMessageIter* iterator) {
        if (levels == 0)
        {
            inner(iterator);
            return;
        }
        DBusMessageIter variant;
        const std::string contained = std::string(static_cast<std::size_t>(levels - 1), 'v') + signature;
        dbus_message_iter_open_container(iterator, DBUS_TYPE_VARIANT, contained.c_str(), &variant);
        Wrapped(levels - 1, signature, inner)(&variant);
        dbus_message_iter_close_container(iterator, &variant);
    };
}

Appender Basic(int type, DBusBasicValue value)
{
    return [=](DBusMessageIter* iterator) { dbus_message_iter_append_basic(iterator, type, &value); };
}

Appender Text(const char* text, int type = DBUS_TYPE_STRING)
{
    return [=](DBusMessageIter* iterator) { dbus_message_iter_append_basic(iterator, type, &text); };
}

// An array of the element signature, each element appended by its own appender.
Appender Array(const char* elementSignature, const std::vector<Appender>& elements)
{
    return [=](DBusMessageIter* iterator) {
        DBusMessageIter array;
        dbus_message_iter_open_container(iterator, DBUS_TYPE_ARRAY, elementSignature, &array);
        for (const Appender& element : elements)
            element(&array);
        dbus_message_iter_close_container(iterator, &array);
    };
}

Appender Entry(const Appender& key, const Appender& value)
{
    return [=](DBusMessageIter* iterator) {
        DBusMessageIter entry;
        dbus_message_iter_open_container(iterator, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
        key(&entry);
        value(&entry);
        dbus_message_iter_close_container(iterator, &entry);
    };
}

DBusBasicValue Value(auto set)
{
    DBusBasicValue value{};
    set(value);
    return value;
}

template <class T>
T ReadBack(const Appender& append)
{
    const DBusMessagePtr message = Build(append);
    DBusMessageIter iterator = Reader(message);
    return ConvertArg<T>(&iterator);
}

//==============================================================================
TEST(DBusArgs, BasicReadersTakeTheValueDirectlyOrInAnyNumberOfVariants)
{
    for (const int levels : {0, 1, 3})
    {
        SCOPED_TRACE(levels);
        const auto wrap = [levels](const char* signature, const Appender& value) {
            return Wrapped(levels, signature, value);
        };
        EXPECT_TRUE(ReadBack<bool>(wrap("b", Basic(DBUS_TYPE_BOOLEAN, Value([](auto& v) { v.bool_val = TRUE; })))));
        EXPECT_EQ(ReadBack<std::uint8_t>(wrap("y", Basic(DBUS_TYPE_BYTE, Value([](auto& v) { v.byt = 0xFE; })))), 0xFE);
        EXPECT_EQ(ReadBack<std::int16_t>(wrap("n", Basic(DBUS_TYPE_INT16, Value([](auto& v) { v.i16 = -79; })))), -79);
        EXPECT_EQ(ReadBack<std::uint16_t>(wrap("q", Basic(DBUS_TYPE_UINT16, Value([](auto& v) { v.u16 = 0xFFFE; })))),
                  0xFFFE);
        EXPECT_EQ(
            ReadBack<std::int32_t>(wrap("i", Basic(DBUS_TYPE_INT32, Value([](auto& v) { v.i32 = -2147483647 - 1; })))),
            -2147483647 - 1);
        EXPECT_EQ(
            ReadBack<std::uint32_t>(wrap("u", Basic(DBUS_TYPE_UINT32, Value([](auto& v) { v.u32 = 0xFFFFFFFEu; })))),
            0xFFFFFFFEu);
        EXPECT_EQ(ReadBack<std::int64_t>(
                      wrap("x", Basic(DBUS_TYPE_INT64, Value([](auto& v) { v.i64 = -(std::int64_t{1} << 40); })))),
                  -(std::int64_t{1} << 40));
        EXPECT_EQ(ReadBack<std::uint64_t>(
                      wrap("t", Basic(DBUS_TYPE_UINT64, Value([](auto& v) { v.u64 = ~std::uint64_t{1}; })))),
                  ~std::uint64_t{1});
        EXPECT_EQ(ReadBack<double>(wrap("d", Basic(DBUS_TYPE_DOUBLE, Value([](auto& v) { v.dbl = -0.25; })))), -0.25);
        for (const auto& [type, signature] : {std::pair{DBUS_TYPE_STRING, "s"}, std::pair{DBUS_TYPE_OBJECT_PATH, "o"},
                                              std::pair{DBUS_TYPE_SIGNATURE, "g"}})
        {
            const char* const text = type == DBUS_TYPE_SIGNATURE ? "a{sv}" : "/org/bluez/hci0";
            EXPECT_EQ(ReadBack<std::string>(wrap(signature, Text(text, type))), text);
        }
        EXPECT_EQ(ReadBack<std::vector<std::string>>(wrap("as", Array("s", {Text("one"), Text("two")}))),
                  (std::vector<std::string>{"one", "two"}));
    }
}

// A wrong basic type cannot be told from a true zero: the assertion says it.
TEST(DBusArgs, AWrongBasicTypeGivesZeroAndAnAssertion)
{
    const Appender text = Text("12");
    const Appender unsignedShort = Basic(DBUS_TYPE_UINT16, Value([](auto& v) { v.u16 = 7; }));
    CaptureStderr capture;
    EXPECT_FALSE(ReadBack<bool>(text));
    EXPECT_EQ(ReadBack<std::int16_t>(unsignedShort), 0);
    EXPECT_EQ(ReadBack<std::uint32_t>(unsignedShort), 0u);
    EXPECT_EQ(ReadBack<std::int64_t>(text), 0);
    EXPECT_EQ(ReadBack<double>(text), 0.0);
    EXPECT_EQ(ReadBack<std::uint8_t>([](DBusMessageIter*) {}), 0);
    EXPECT_EQ(CountAssertions(capture.Finish()), 6);
}

TEST(DBusArgs, TextReadersGiveEmptyTextForOtherTypesAndFalseOnlyAtTheEnd)
{
    CaptureStderr capture;
    const Appender number = Basic(DBUS_TYPE_INT32, Value([](auto& v) { v.i32 = 5; }));
    EXPECT_EQ(ReadBack<std::string>(number), "");
    EXPECT_EQ(ReadBack<std::vector<std::string>>(number), std::vector<std::string>{});
    // Elements that are not text keep their place as empty texts.
    EXPECT_EQ(ReadBack<std::vector<std::string>>(Array("v", {Wrapped(1, "s", Text("a")), Wrapped(1, "i", number)})),
              (std::vector<std::string>{"a", ""}));

    const DBusMessagePtr message = Build([&](DBusMessageIter* iterator) {
        number(iterator);
        Text("last")(iterator);
    });
    DBusMessageIter iterator = Reader(message);
    std::string text = "unchanged";
    EXPECT_TRUE(ConvertArg(&iterator, text));
    EXPECT_EQ(text, "");
    ASSERT_TRUE(dbus_message_iter_next(&iterator));
    EXPECT_TRUE(ConvertArg(&iterator, text));
    EXPECT_EQ(text, "last");
    EXPECT_FALSE(dbus_message_iter_next(&iterator));
    text = "unchanged";
    EXPECT_FALSE(ConvertArg(&iterator, text));
    EXPECT_EQ(text, "unchanged");
    std::vector<std::string> texts{"x"};
    EXPECT_TRUE(ConvertArg(&iterator, texts));
    EXPECT_TRUE(texts.empty());
    EXPECT_EQ(capture.Finish(), "");
}

//==============================================================================
std::vector<std::string> ArrayTexts(const Vx::Variant& value)
{
    std::vector<std::string> texts;
    for (std::uint32_t i = 0; i < value.GetArrayCount(); ++i)
    {
        Vx::Variant element;
        EXPECT_EQ(value.GetArrayElement(i, element), 0);
        EXPECT_EQ(element.GetTag(), Vx::Variant::T_STRING);
        texts.emplace_back(element.GetString() != nullptr ? element.GetString() : "<null>");
    }
    return texts;
}

TEST(DBusArgs, VariantReaderGivesEachContentItsTag)
{
    struct Case
    {
        const char* name;
        Appender content; // inside the one variant
        const char* signature;
        std::uint32_t tag;
        std::function<void(const Vx::Variant&)> check;
    };
    const auto number = [](int type, auto set) { return Basic(type, Value(set)); };
    const std::vector<Case> cases = {
        {"b", number(DBUS_TYPE_BOOLEAN, [](auto& v) { v.bool_val = TRUE; }), "b", 1,
         [](const Vx::Variant& v) { EXPECT_TRUE(v.GetBool()); }},
        {"y", number(DBUS_TYPE_BYTE, [](auto& v) { v.byt = 200; }), "y", 3,
         [](const Vx::Variant& v) { EXPECT_EQ(v.GetUInt8(), 200); }},
        {"n", number(DBUS_TYPE_INT16, [](auto& v) { v.i16 = -79; }), "n", 4,
         [](const Vx::Variant& v) { EXPECT_EQ(v.GetInt16(), -79); }},
        {"q", number(DBUS_TYPE_UINT16, [](auto& v) { v.u16 = 65535; }), "q", 5,
         [](const Vx::Variant& v) { EXPECT_EQ(v.GetUInt16(), 65535); }},
        {"i", number(DBUS_TYPE_INT32, [](auto& v) { v.i32 = -5; }), "i", 6,
         [](const Vx::Variant& v) { EXPECT_EQ(v.GetInt32(), -5); }},
        {"u", number(DBUS_TYPE_UINT32, [](auto& v) { v.u32 = 268; }), "u", 7,
         [](const Vx::Variant& v) { EXPECT_EQ(v.GetUInt32(), 268u); }},
        {"x", number(DBUS_TYPE_INT64, [](auto& v) { v.i64 = -(std::int64_t{1} << 50); }), "x", 10,
         [](const Vx::Variant& v) { EXPECT_EQ(v.GetInt64(), -(std::int64_t{1} << 50)); }},
        {"t", number(DBUS_TYPE_UINT64, [](auto& v) { v.u64 = std::uint64_t{1} << 63; }), "t", 11,
         [](const Vx::Variant& v) { EXPECT_EQ(v.GetUInt64(), std::uint64_t{1} << 63); }},
        {"d", number(DBUS_TYPE_DOUBLE, [](auto& v) { v.dbl = 2.5; }), "d", 9,
         [](const Vx::Variant& v) { EXPECT_EQ(v.GetDouble(), 2.5); }},
        {"s", Text("Speaker"), "s", 15, [](const Vx::Variant& v) { EXPECT_STREQ(v.GetString(), "Speaker"); }},
        {"o", Text("/org/bluez/hci0", DBUS_TYPE_OBJECT_PATH), "o", 15,
         [](const Vx::Variant& v) { EXPECT_STREQ(v.GetString(), "/org/bluez/hci0"); }},
        {"g", Text("sa{sv}as", DBUS_TYPE_SIGNATURE), "g", 15,
         [](const Vx::Variant& v) { EXPECT_STREQ(v.GetString(), "sa{sv}as"); }},
        {"as", Array("s", {Text("0000110e"), Text("0000110c")}), "as", 16,
         [](const Vx::Variant& v) {
             EXPECT_EQ(ArrayTexts(v), (std::vector<std::string>{"0000110e", "0000110c"}));
         }},
        {"empty as", Array("s", {}), "as", 16, [](const Vx::Variant& v) { EXPECT_EQ(v.GetArrayCount(), 0u); }},
        // Arrays of anything else keep only their count, as empty texts.
        {"ay",
         Array("y",
               {number(DBUS_TYPE_BYTE, [](auto& v) { v.byt = 1; }), number(DBUS_TYPE_BYTE, [](auto& v) { v.byt = 2; }),
                number(DBUS_TYPE_BYTE, [](auto& v) { v.byt = 3; })}),
         "ay", 16,
         [](const Vx::Variant& v) {
             EXPECT_EQ(ArrayTexts(v), (std::vector<std::string>{"", "", ""}));
         }},
        {"a{qv}",
         Array("{qv}", {Entry(number(DBUS_TYPE_UINT16, [](auto& v) { v.u16 = 76; }), Wrapped(1, "s", Text("x"))),
                        Entry(number(DBUS_TYPE_UINT16, [](auto& v) { v.u16 = 77; }), Wrapped(1, "s", Text("y")))}),
         "a{qv}", 16, [](const Vx::Variant& v) { EXPECT_EQ(ArrayTexts(v), (std::vector<std::string>{"", ""})); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CaptureStderr capture;
        const Vx::Variant value = ReadBack<Vx::Variant>(Wrapped(1, c.signature, c.content));
        EXPECT_EQ(value.GetTag(), c.tag);
        c.check(value);
        EXPECT_EQ(capture.Finish(), "");
    }
}

TEST(DBusArgs, VariantReaderRefusesWhatItCannotHold)
{
    struct Case
    {
        const char* name;
        Appender argument;
        char code;
    };
    const Appender number = Basic(DBUS_TYPE_INT32, Value([](auto& v) { v.i32 = 1; }));
    const std::vector<Case> cases = {
        {"no variant", number, 'i'},
        {"a variant in a variant", Wrapped(2, "i", number), 'v'},
        {"a structure",
         Wrapped(1, "(ii)",
                 [&](DBusMessageIter* iterator) {
                     DBusMessageIter structure;
                     dbus_message_iter_open_container(iterator, DBUS_TYPE_STRUCT, nullptr, &structure);
                     number(&structure);
                     number(&structure);
                     dbus_message_iter_close_container(iterator, &structure);
                 }),
         'r'},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CaptureStderr capture;
        EXPECT_EQ(ReadBack<Vx::Variant>(c.argument).GetTag(), Vx::Variant::T_NONE);
        const std::string err = capture.Finish();
        EXPECT_NE(err.find(std::string("DBUS: ConvertArg<Vx::Variant>: bad type: ") + c.code + "\n"), std::string::npos)
            << err;
        EXPECT_EQ(CountAssertions(err), 1) << err;
    }
}

//==============================================================================
TEST(DBusArgs, DictionariesKeepTheFirstValueOfARepeatedKey)
{
    const auto entry = [](const char* key, int number) {
        return Entry(Text(key), Wrapped(1, "i", Basic(DBUS_TYPE_INT32, Value([=](auto& v) { v.i32 = number; }))));
    };
    const Appender dictionary = Array("{sv}", {entry("Powered", 1), entry("Class", 268), entry("Powered", 0)});
    for (const int levels : {0, 2})
    {
        const DBusMessagePtr message = Build(Wrapped(levels, "a{sv}", dictionary));
        DBusMessageIter iterator = Reader(message);
        const Dict read = ConvertDict<Vx::Variant>(&iterator);
        ASSERT_EQ(read.size(), 2u);
        EXPECT_EQ(read.at("Powered").GetInt32(), 1);
        EXPECT_EQ(read.at("Class").GetInt32(), 268);
    }

    // A key that is not text reads as the empty key.
    const DBusMessagePtr numbered = Build(Array(
        "{iv}", {Entry(Basic(DBUS_TYPE_INT32, Value([](auto& v) { v.i32 = 1; })), Wrapped(1, "s", Text("first"))),
                 Entry(Basic(DBUS_TYPE_INT32, Value([](auto& v) { v.i32 = 2; })), Wrapped(1, "s", Text("second")))}));
    DBusMessageIter iterator = Reader(numbered);
    const Dict read = ConvertDict<Vx::Variant>(&iterator);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_STREQ(read.at("").GetString(), "first");
}

TEST(DBusArgs, TheThreeLevelsOfTheObjectManager)
{
    const Appender name = Entry(Text("Name"), Wrapped(1, "s", Text("Speaker")));
    const Appender rssi =
        Entry(Text("RSSI"), Wrapped(1, "n", Basic(DBUS_TYPE_INT16, Value([](auto& v) { v.i16 = -40; }))));
    const Appender interfaces =
        Array("{sa{sv}}", {Entry(Text("org.bluez.Device1"), Array("{sv}", {name, rssi})),
                           Entry(Text("org.freedesktop.DBus.Introspectable"), Array("{sv}", {}))});
    const Appender objects =
        Array("{oa{sa{sv}}}", {Entry(Text("/org/bluez/hci0/dev_1", DBUS_TYPE_OBJECT_PATH), interfaces)});
    const DBusMessagePtr message = Build(objects);
    DBusMessageIter iterator = Reader(message);
    const auto read = ConvertDict<std::unordered_map<std::string, Dict>>(&iterator);
    ASSERT_EQ(read.size(), 1u);
    const auto& device = read.at("/org/bluez/hci0/dev_1");
    ASSERT_EQ(device.size(), 2u);
    EXPECT_TRUE(device.at("org.freedesktop.DBus.Introspectable").empty());
    EXPECT_STREQ(device.at("org.bluez.Device1").at("Name").GetString(), "Speaker");
    EXPECT_EQ(device.at("org.bluez.Device1").at("RSSI").GetInt16(), -40);
}

TEST(DBusArgs, DictionaryReaderRefusesWhatIsNoDictionary)
{
    CaptureStderr capture;
    // An array of texts is an array, but holds no entries.
    const DBusMessagePtr texts = Build(Array("s", {Text("a"), Text("b")}));
    DBusMessageIter iterator = Reader(texts);
    EXPECT_TRUE(ConvertDict<Vx::Variant>(&iterator).empty());
    EXPECT_EQ(capture.Finish(), "");

    CaptureStderr refused;
    const DBusMessagePtr text = Build(Text("Speaker"));
    iterator = Reader(text);
    EXPECT_TRUE((ConvertDict<std::unordered_map<std::string, Dict>>(&iterator).empty()));
    const std::string err = refused.Finish();
    EXPECT_NE(err.find("DBUS: ConvertDict: bad type: s\n"), std::string::npos) << err;
    EXPECT_EQ(CountAssertions(err), 1) << err;
}

//==============================================================================
// What a writer appended, as its signature and as the variant reader reads it.
struct Written
{
    bool result = false;
    std::string signature;
    Vx::Variant value;
    std::string err;
};

Written Write(const Vx::Variant& value)
{
    Written written;
    CaptureStderr capture;
    const DBusMessagePtr message =
        Build([&](DBusMessageIter* iterator) { written.result = AppendArgs(iterator, value); });
    written.err = capture.Finish();
    written.signature = dbus_message_get_signature(message.Get());
    if (written.result)
    {
        DBusMessageIter iterator = Reader(message);
        DBusMessageIter content;
        dbus_message_iter_recurse(&iterator, &content);
        const char* inner = dbus_message_iter_get_signature(&content);
        written.signature += std::string("(") + inner + ")";
        dbus_free(const_cast<char*>(inner));
        written.value = ConvertArg<Vx::Variant>(&iterator);
    }
    return written;
}

bool HasTrace(const std::string& err, const std::string& text)
{
    return std::regex_search(err, std::regex("AppendArgs:[0-9]+ " + text + "\n"));
}

TEST(DBusArgs, VariantsAreWrittenAsTheirOwnType)
{
    Vx::Variant text;
    text.SetString("Speaker");
    struct Case
    {
        Vx::Variant value;
        const char* signature;
        const char* opened;
    };
    const std::vector<Case> cases = {
        {Vx::Variant(true), "v(b)", "BOOLEAN_AS_STRING"},
        {Vx::Variant(std::int16_t{-2}), "v(n)", "INT16_AS_STRING"},
        {Vx::Variant(std::uint16_t{2}), "v(q)", "UINT16_AS_STRING"},
        {Vx::Variant(std::int32_t{5}), "v(i)", "INT32_AS_STRING"},
        {Vx::Variant(std::uint32_t{268}), "v(u)", "UINT32_AS_STRING"},
        {Vx::Variant(-(std::int64_t{1} << 40)), "v(x)", "INT64_AS_STRING"},
        {Vx::Variant(std::uint64_t{1} << 40), "v(t)", "UINT64_AS_STRING"},
        {Vx::Variant(0.5), "v(d)", "DOUBLE_AS_STRING"},
        {text, "v(s)", "STRING_AS_STRING"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.signature);
        const Written written = Write(c.value);
        EXPECT_TRUE(written.result);
        EXPECT_EQ(written.signature, c.signature);
        EXPECT_TRUE(written.value == c.value);
        EXPECT_TRUE(HasTrace(written.err, "variantType=" + std::to_string(c.value.GetTag()))) << written.err;
        EXPECT_TRUE(HasTrace(written.err, std::string("Opened variant container DBUS_TYPE_") + c.opened))
            << written.err;
        EXPECT_TRUE(HasTrace(written.err, "Closed variant container: 1")) << written.err;
    }
}

TEST(DBusArgs, ArraysAreWrittenAsTextsKeepingTheirCount)
{
    std::vector<Vx::Variant> elements(3);
    elements[0].SetString("one");
    elements[1] = Vx::Variant(std::int32_t{7});
    elements[2].SetString("three");
    Vx::Variant array;
    array.SetArray(elements.data(), 3);
    const Written written = Write(array);
    EXPECT_TRUE(written.result);
    EXPECT_EQ(written.signature, "v(as)");
    EXPECT_EQ(ArrayTexts(written.value), (std::vector<std::string>{"one", "", "three"}));
    EXPECT_TRUE(HasTrace(written.err, "Opened variant container DBUS_TYPE_ARRAY_AS_STRING DBUS_TYPE_STRING_AS_STRING"));
}

TEST(DBusArgs, VariantTagsWithoutAD_BusFormAreRefused)
{
    Vx::Variant bytes;
    bytes.SetBytes("\x01\x02", 2);
    const std::vector<Vx::Variant> refused = {Vx::Variant(), Vx::Variant(std::int8_t{1}), Vx::Variant(std::uint8_t{1}),
                                              Vx::Variant(1.5f), bytes};
    for (const Vx::Variant& value : refused)
    {
        SCOPED_TRACE(value.GetTag());
        const Written written = Write(value);
        EXPECT_FALSE(written.result);
        EXPECT_TRUE(HasTrace(written.err, "Unexpected variant type: " + std::to_string(value.GetTag()))) << written.err;
        EXPECT_TRUE(HasTrace(written.err, "Failed to write value to variant container")) << written.err;
        // Nothing half-written stays in the message.
        EXPECT_EQ(written.signature, "");
    }
}

TEST(DBusArgs, TextsThatAreNotUtf8AreRefusedBeforeLibdbusSeesThem)
{
    Vx::Variant text;
    text.SetString("caf\xE9");
    const Written written = Write(text);
    EXPECT_FALSE(written.result);
    EXPECT_TRUE(HasTrace(written.err, "Failed to write value to variant container"));
    EXPECT_EQ(written.signature, "");

    const DBusMessagePtr message = Build([](DBusMessageIter* iterator) {
        EXPECT_FALSE(AppendArgs(iterator, static_cast<const char*>(nullptr)));
        EXPECT_FALSE(AppendArgs(iterator, "\xFF"));
        EXPECT_FALSE(AppendArgs(iterator, std::vector<std::string>{"ok", "\xC3"}));
        EXPECT_TRUE(AppendArgs(iterator, "org.bluez.Adapter1"));
        EXPECT_TRUE(AppendArgs(iterator, false));
        EXPECT_TRUE(AppendArgs(iterator, std::vector<std::string>{"a", "b"}));
    });
    EXPECT_STREQ(dbus_message_get_signature(message.Get()), "sbas");
}

TEST(DBusArgs, NewMethodCallRefusesMalformedNames)
{
    DBusMessagePtr message = Build([](DBusMessageIter*) {});
    EXPECT_TRUE(NewMethodCall(message, "org.bluez", "/org/bluez/hci0", "org.freedesktop.DBus.Properties", "GetAll"));
    ASSERT_TRUE(message);
    EXPECT_STREQ(dbus_message_get_destination(message.Get()), "org.bluez");
    EXPECT_STREQ(dbus_message_get_member(message.Get()), "GetAll");

    struct Case
    {
        const char* destination;
        const char* path;
        const char* interface;
        const char* method;
    };
    const Case malformed[] = {
        {"org.bluez", "not a path", "org.freedesktop.DBus.Properties", "GetAll"},
        {"org.bluez", "/trailing/", "org.freedesktop.DBus.Properties", "GetAll"},
        {"org.bluez", nullptr, "org.freedesktop.DBus.Properties", "GetAll"},
        {"org..bluez", "/", "org.freedesktop.DBus.Properties", "GetAll"},
        {"org.bluez", "/", "Properties", "GetAll"},
        {"org.bluez", "/", "org.freedesktop.DBus.Properties", "Get.All"},
        {"org.bluez", "/", "org.freedesktop.DBus.Properties", nullptr},
    };
    for (const Case& c : malformed)
    {
        SCOPED_TRACE(c.path != nullptr ? c.path : "(null path)");
        EXPECT_FALSE(NewMethodCall(message, c.destination, c.path, c.interface, c.method));
        EXPECT_FALSE(message);
    }
}
} // namespace
