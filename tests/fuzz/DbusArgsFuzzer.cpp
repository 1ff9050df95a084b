// Reads the arguments of received D-Bus messages with every reader of the
// argument conversion.  An input that starts with an endianness mark ('l' or
// 'B') is a whole marshalled message; any other input is a signature length,
// the signature and the body, put behind a header made here, so that small
// inputs reach the readers without having to learn the header.  libdbus
// validates what it demarshals, as it does what arrives from the bus.
#include "Panel/Engine/VB05Common/Platform/VB05DBusClient.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

namespace
{
using namespace Vx::VB05;
using Dict = std::unordered_map<std::string, Vx::Variant>;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Pad(std::vector<std::uint8_t>& out, std::size_t alignment)
{
    while (out.size() % alignment != 0)
        out.push_back(0);
}

void Append32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A little-endian signal "/" a.b.c with the signature and the body.
std::vector<std::uint8_t> Message(const std::string& signature, const std::uint8_t* body, std::size_t size)
{
    std::vector<std::uint8_t> out = {'l', DBUS_MESSAGE_TYPE_SIGNAL, 0, 1};
    Append32(out, static_cast<std::uint32_t>(size));
    Append32(out, 1);
    Append32(out, 0); // length of the header fields, below
    const std::size_t fieldsStart = out.size();
    const auto text = [&](std::uint8_t code, char type, const std::string& value) {
        Pad(out, 8);
        out.insert(out.end(), {code, 1, static_cast<std::uint8_t>(type), 0});
        Pad(out, 4);
        Append32(out, static_cast<std::uint32_t>(value.size()));
        out.insert(out.end(), value.begin(), value.end());
        out.push_back(0);
    };
    text(DBUS_HEADER_FIELD_PATH, 'o', "/");
    text(DBUS_HEADER_FIELD_INTERFACE, 's', "a.b");
    text(DBUS_HEADER_FIELD_MEMBER, 's', "c");
    if (!signature.empty())
    {
        Pad(out, 8);
        out.insert(out.end(), {DBUS_HEADER_FIELD_SIGNATURE, 1, 'g', 0});
        out.push_back(static_cast<std::uint8_t>(signature.size()));
        out.insert(out.end(), signature.begin(), signature.end());
        out.push_back(0);
    }
    Put32(out, 12, static_cast<std::uint32_t>(out.size() - fieldsStart));
    Pad(out, 8);
    out.insert(out.end(), body, body + size);
    return out;
}

// Each reader on the argument, where it is the reader for it (a mismatch
// only asserts and prints, which is tested elsewhere).
void ReadArgument(DBusMessageIter* iterator)
{
    const int outer = dbus_message_iter_get_arg_type(iterator);
    const DBusMessageIter entered = detail::EnterVariants(*iterator);
    DBusMessageIter content = entered;
    const int type = dbus_message_iter_get_arg_type(&content);

    switch (type)
    {
    case DBUS_TYPE_BOOLEAN:
        ConvertArg<bool>(iterator);
        break;
    case DBUS_TYPE_BYTE:
        ConvertArg<std::uint8_t>(iterator);
        break;
    case DBUS_TYPE_INT16:
        ConvertArg<std::int16_t>(iterator);
        break;
    case DBUS_TYPE_UINT16:
        ConvertArg<std::uint16_t>(iterator);
        break;
    case DBUS_TYPE_INT32:
        ConvertArg<std::int32_t>(iterator);
        break;
    case DBUS_TYPE_UINT32:
        ConvertArg<std::uint32_t>(iterator);
        break;
    case DBUS_TYPE_INT64:
        ConvertArg<std::int64_t>(iterator);
        break;
    case DBUS_TYPE_UINT64:
        ConvertArg<std::uint64_t>(iterator);
        break;
    case DBUS_TYPE_DOUBLE:
        ConvertArg<double>(iterator);
        break;
    default:
        break;
    }

    std::string text = "unchanged";
    Check(ConvertArg(iterator, text));
    Check(ConvertArg<std::string>(iterator) == text);
    const std::vector<std::string> texts = ConvertArg<std::vector<std::string>>(iterator);

    if (outer == DBUS_TYPE_VARIANT)
    {
        DBusMessageIter inside;
        dbus_message_iter_recurse(iterator, &inside);
        const int contained = dbus_message_iter_get_arg_type(&inside);
        if (contained != DBUS_TYPE_VARIANT && contained != DBUS_TYPE_STRUCT && contained != DBUS_TYPE_UNIX_FD)
        {
            const Vx::Variant value = ConvertArg<Vx::Variant>(iterator);
            if (contained == DBUS_TYPE_ARRAY)
                Check(value.GetTag() == Vx::Variant::T_ARRAY && value.GetArrayCount() == texts.size());
        }
    }

    if (type == DBUS_TYPE_ARRAY)
    {
        const Dict flat = ConvertDict<Vx::Variant>(iterator);
        Check(flat.size() <= texts.size());
        const auto nested = ConvertDict<Dict>(iterator);
        const auto objects = ConvertDict<std::unordered_map<std::string, Dict>>(iterator);
        Check(nested.size() <= texts.size() && objects.size() <= texts.size());
    }
}

void ReadMessage(const std::vector<std::uint8_t>& bytes)
{
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* raw =
        dbus_message_demarshal(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), &error);
    dbus_error_free(&error);
    if (raw == nullptr)
        return;
    const DBusMessagePtr message = DBusMessagePtr::Adopt(raw);
    DBusMessageIter iterator;
    if (!dbus_message_iter_init(message.Get(), &iterator))
        return;
    do
        ReadArgument(&iterator);
    while (dbus_message_iter_next(&iterator));
    // At the end, the text reader says so and leaves its text alone.
    std::string text = "unchanged";
    Check(!ConvertArg(&iterator, text) && text == "unchanged");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > 1 << 20)
        return 0;
    if (data[0] == 'l' || data[0] == 'B')
    {
        ReadMessage(std::vector<std::uint8_t>(data, data + size));
        return 0;
    }
    const std::size_t length = data[0];
    if (1 + length > size)
        return 0;
    const std::string signature(reinterpret_cast<const char*>(data + 1), length);
    ReadMessage(Message(signature, data + 1 + length, size - 1 - length));
    return 0;
}
