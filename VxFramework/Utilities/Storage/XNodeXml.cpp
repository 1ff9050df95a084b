// Reading property-list XML with expat, and writing it back.

#include "VxFramework/Utilities/Storage/XNode.h"

#include <expat.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vx
{
namespace
{
bool NameIs(const char* name, const char* expected) noexcept
{
    return strcasecmp(name, expected) == 0;
}

// Decimal, as the property-list format means integers: a hand-edited "010"
// is ten, not eight.  Limited to the 32 bits the value has (what strtol
// itself gives where long has 32 bits).
std::int32_t ParseInteger(const std::string& text) noexcept
{
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}
} // namespace

// Builds the tree from expat's callbacks.  Dicts and arrays open a level; a
// level's slot holds the node the next element fills, so a key and its value
// complete one node.  Character data is gathered until the element ends, so
// text that expat hands over in pieces (around entity references) stays whole.
class XmlReader
{
public:
    XmlReader() : mParser(XML_ParserCreate(nullptr))
    {
        if (mParser == nullptr)
            return;
        XML_SetUserData(mParser, this);
        XML_SetElementHandler(mParser, &XmlReader::OnStart, &XmlReader::OnEnd);
        XML_SetCharacterDataHandler(mParser, &XmlReader::OnText);
        XML_SetStartDoctypeDeclHandler(mParser, &XmlReader::OnDoctype);
    }
    ~XmlReader()
    {
        if (mParser != nullptr)
            XML_ParserFree(mParser);
    }
    XmlReader(const XmlReader&) = delete;
    XmlReader& operator=(const XmlReader&) = delete;

    XNodeRef Parse(const char* text, std::size_t length, const char* path, XNode* errorNode)
    {
        bool ok = mParser != nullptr;
        if (ok && length > XNode::kMaxDocumentSize)
        {
            mError = "document too large";
            ok = false;
        }
        // XML_Parse takes an int length: feed long texts in pieces.
        constexpr std::size_t kPiece = 1u << 20;
        std::size_t offset = 0;
        while (ok)
        {
            const std::size_t piece = std::min(kPiece, length - offset);
            const bool last = offset + piece == length;
            ok = XML_Parse(mParser, text + offset, static_cast<int>(piece), last) == XML_STATUS_OK;
            offset += piece;
            if (last)
                break;
        }
        if (ok && !mError.empty())
            ok = false;
        if (ok && !mRoot)
        {
            mError = "no element found";
            ok = false;
        }
        if (!ok)
        {
            ReportError(path, errorNode);
            return XNodeRef();
        }
        mRoot->ClearDirty();
        return mRoot;
    }

private:
    enum class Target
    {
        kNone,
        kKey,
        kValue,
    };

    struct Level
    {
        XNode* node = nullptr;
        bool ignoreText = false;
        Target target = Target::kNone;
        std::string text;
        int openedAtDepth = -1; // element depth of the dict or array that opened the level
    };

    void ReportError(const char* path, XNode* errorNode)
    {
        const char* message = mError.empty() && mParser != nullptr ? XML_ErrorString(XML_GetErrorCode(mParser))
                                                                    : mError.c_str();
        if (message == nullptr)
            message = "unknown error";
        const int line = mParser != nullptr ? static_cast<int>(XML_GetCurrentLineNumber(mParser)) : 0;
        if (errorNode != nullptr)
            errorNode->SetString(std::string("XML Load Error \"") + message + "\" line " + std::to_string(line));
        std::fprintf(stderr, "%s:%d: %s\n", path != nullptr ? path : "XML Load Error", line, message);
        mRoot.Reset();
    }

    void Fail(const char* message)
    {
        if (mError.empty())
            mError = message;
        XML_StopParser(mParser, XML_FALSE);
    }

    static void XMLCALL OnStart(void* self, const XML_Char* name, const XML_Char** attributes)
    {
        static_cast<XmlReader*>(self)->Start(name, attributes);
    }
    static void XMLCALL OnEnd(void* self, const XML_Char* name) { static_cast<XmlReader*>(self)->End(name); }
    static void XMLCALL OnText(void* self, const XML_Char* text, int length)
    {
        static_cast<XmlReader*>(self)->Text(text, length);
    }
    // The writer's own document type line has no internal subset.  One with a
    // subset could declare entities (expanding to any size) and attribute
    // defaults that change what the document says: none is taken.
    static void XMLCALL OnDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int hasInternalSubset)
    {
        if (hasInternalSubset)
            static_cast<XmlReader*>(self)->Fail("internal subset not allowed");
    }

    void Start(const char* name, const char** attributes)
    {
        ++mDepth;
        if (!mError.empty())
            return;
        if (mSkipDepth > 0)
        {
            ++mSkipDepth;
            return;
        }
        Level& level = mLevels[mLevel];
        if (level.node == nullptr)
        {
            XNode* parent = mLevel > 0 ? mLevels[mLevel - 1].node : nullptr;
            XNodeRef node = XNode::Create(XNode::kNone);
            if (parent != nullptr)
                parent->AppendChild(node.Get());
            else if (!mRoot)
                mRoot = node;
            else
            {
                // A second top-level value has no place in the tree: skip it.
                mSkipDepth = 1;
                return;
            }
            level.node = node.Get();
        }
        XNode* node = level.node;
        for (const char** attribute = attributes; attribute[0] != nullptr; attribute += 2)
        {
            const bool on = NameIs(attribute[1], "true");
            if (NameIs(attribute[0], "visible"))
                node->SetFlag(XNode::kVisible, on);
            else if (NameIs(attribute[0], "locked"))
                node->SetFlag(XNode::kLocked, on);
        }

        if (NameIs(name, "plist"))
            level.ignoreText = true;
        else if (NameIs(name, "key"))
            Collect(level, Target::kKey);
        else if (NameIs(name, "dict") || NameIs(name, "array"))
        {
            node->SetKind(NameIs(name, "dict") ? XNode::kDict : XNode::kArray);
            if (mLevel + 1 >= XNode::kMaxDepth)
            {
                Fail("nesting too deep");
                return;
            }
            ++mLevel;
            mLevels[mLevel] = Level();
            mLevels[mLevel].openedAtDepth = mDepth;
        }
        else if (NameIs(name, "string"))
            StartValue(level, XNode::kString);
        else if (NameIs(name, "integer"))
            StartValue(level, XNode::kInteger);
        else if (NameIs(name, "real"))
            StartValue(level, XNode::kReal);
        else if (NameIs(name, "data"))
            StartValue(level, XNode::kData);
        else if (NameIs(name, "true") || NameIs(name, "false"))
        {
            node->SetKind(XNode::kBool);
            node->mBool = NameIs(name, "true");
            level.ignoreText = true;
            level.target = Target::kNone;
        }
    }

    static void Collect(Level& level, Target target)
    {
        level.ignoreText = false;
        level.target = target;
        level.text.clear();
    }

    static void StartValue(Level& level, XNode::Kind kind)
    {
        level.node->SetKind(kind);
        Collect(level, Target::kValue);
    }

    void Text(const char* text, int length)
    {
        if (!mError.empty() || mSkipDepth > 0)
            return;
        Level& level = mLevels[mLevel];
        if (level.ignoreText || level.node == nullptr || level.target == Target::kNone)
            return;
        level.text.append(text, static_cast<std::size_t>(length));
    }

    // Hands the gathered text to the node it was meant for.
    static void Commit(Level& level)
    {
        XNode* node = level.node;
        if (node != nullptr && level.target == Target::kKey)
            node->SetKey(level.text);
        else if (node != nullptr && level.target == Target::kValue)
        {
            switch (node->mKind)
            {
            case XNode::kString:
            case XNode::kData:
                node->mText = level.text;
                break;
            case XNode::kInteger:
                node->mInteger = ParseInteger(level.text);
                break;
            case XNode::kReal: {
                float value = 0.0f;
                if (std::sscanf(level.text.c_str(), "%f", &value) == 1)
                    node->mReal = value;
                break;
            }
            case XNode::kBool:
                node->mBool = strncasecmp(level.text.c_str(), "true", 4) == 0;
                break;
            default:
                break;
            }
        }
        level.target = Target::kNone;
        level.text.clear();
    }

    void End(const char* name)
    {
        const int depth = mDepth--;
        if (!mError.empty())
            return;
        if (mSkipDepth > 0)
        {
            --mSkipDepth;
            return;
        }
        Commit(mLevels[mLevel]);
        // Only the element that opened a level closes it.
        if (mLevel > 0 && mLevels[mLevel].openedAtDepth == depth)
            --mLevel;
        Level& level = mLevels[mLevel];
        level.ignoreText = true;
        if (!NameIs(name, "key") && level.node != nullptr && level.node->mKind != XNode::kNone)
            level.node = nullptr;
    }

    XML_Parser mParser;
    XNodeRef mRoot;
    Level mLevels[XNode::kMaxDepth];
    int mLevel = 0;
    int mDepth = 0;
    int mSkipDepth = 0;
    std::string mError;
};

XNodeRef XNode::Parse(const char* text, std::size_t length, const char* path, XNode* errorNode)
{
    XmlReader reader;
    return reader.Parse(text != nullptr ? text : "", text != nullptr ? length : 0, path, errorNode);
}

XNodeRef XNode::Load(const char* path, XNode* errorNode)
{
    if (path == nullptr)
        return XNodeRef();
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return XNodeRef();
    // Read no more than the reader takes: one byte beyond it is enough for
    // Parse to refuse the document.
    std::string text;
    char chunk[65536];
    std::size_t got;
    while (text.size() <= kMaxDocumentSize && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return XNodeRef();
    return Parse(text.data(), text.size(), path, errorNode);
}

namespace
{
// Length of the well-formed UTF-8 character at i that XML 1.0 allows, or 0.
std::size_t CharacterLength(const unsigned char* bytes, std::size_t i, std::size_t size) noexcept
{
    const unsigned char c = bytes[i];
    if (c < 0x80)
        return (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') ? 1 : 0;
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (c >= 0xC2 && c <= 0xDF)
    {
        length = 2;
        code = c & 0x1F;
    }
    else if (c >= 0xE0 && c <= 0xEF)
    {
        length = 3;
        code = c & 0x0F;
    }
    else if (c >= 0xF0 && c <= 0xF4)
    {
        length = 4;
        code = c & 0x07;
    }
    if (length == 0 || i + length > size)
        return 0;
    for (std::size_t k = 1; k < length; ++k)
    {
        if ((bytes[i + k] & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (bytes[i + k] & 0x3F);
    }
    const std::uint32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    const bool allowed = code >= minimum && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF) &&
                         code != 0xFFFE && code != 0xFFFF;
    return allowed ? length : 0;
}
} // namespace

bool XNode::IsWritableText(std::string_view text) noexcept
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();)
    {
        const std::size_t length = CharacterLength(bytes, i, text.size());
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

// A carriage return is kept as a reference because a reader would turn it into
// a line feed.
void XNode::AppendEscaped(std::string& out, std::string_view text)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();)
    {
        const std::size_t length = CharacterLength(bytes, i, text.size());
        if (length == 0)
        {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        switch (bytes[i])
        {
        case '"': out += "&quot;"; break;
        case '&': out += "&amp;"; break;
        case '\'': out += "&apos;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\r': out += "&#13;"; break;
        default: out.append(text.substr(i, length));
        }
        i += length;
    }
}

namespace
{
bool IsWritten(const XNode& node, int flags)
{
    return node.GetKind() != XNode::kNone &&
           ((flags & XNode::kWriteVolatile) != 0 || !node.HasFlag(XNode::kVolatile));
}

std::string Attributes(const XNode& node, int flags)
{
    std::string text;
    if (node.HasFlag(XNode::kVisible))
        text += " visible=\"true\"";
    if (node.HasFlag(XNode::kLocked))
        text += " locked=\"true\"";
    if ((flags & XNode::kWriteStateFlags) != 0)
    {
        if (node.HasFlag(XNode::kVolatile))
            text += " volatile=\"true\"";
        if (node.HasFlag(XNode::kDirty))
            text += " dirty=\"true\"";
    }
    return text;
}

// Every part is appended whole: no value is cut, whatever its length.
void WriteNode(std::string& out, const XNode& node, int level, int flags, bool writeKey)
{
    if (!IsWritten(node, flags))
        return;
    out.append(static_cast<std::size_t>(level), '\t');
    if (writeKey)
    {
        out += "<key>";
        XNode::AppendEscaped(out, node.GetKey());
        out += "</key>";
    }
    const std::string attributes = Attributes(node, flags);
    char number[64];
    switch (node.GetKind())
    {
    case XNode::kString:
    case XNode::kData: {
        const char* tag = node.GetKind() == XNode::kString ? "string" : "data";
        out += '<';
        out += tag;
        out += attributes;
        out += '>';
        XNode::AppendEscaped(out, node.GetText());
        out += "</";
        out += tag;
        out += ">\n";
        break;
    }
    case XNode::kBool:
        out += node.GetBool() ? "<true" : "<false";
        out += attributes;
        out += "/>\n";
        break;
    case XNode::kInteger:
        std::snprintf(number, sizeof number, "%ld", static_cast<long>(node.GetInt()));
        out += "<integer" + attributes + ">" + number + "</integer>\n";
        break;
    case XNode::kReal: {
        // %f of a float's largest value needs about 50 characters.
        std::string real(64, '\0');
        const int n = std::snprintf(real.data(), real.size(), "%f", static_cast<double>(node.GetReal()));
        real.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        out += "<real" + attributes + ">" + real + "</real>\n";
        break;
    }
    case XNode::kDict:
    case XNode::kArray: {
        const bool dict = node.GetKind() == XNode::kDict;
        const char* tag = dict ? "dict" : "array";
        bool hasWritten = false;
        for (std::uint32_t i = 0; i < node.GetCount() && !hasWritten; ++i)
            hasWritten = IsWritten(*node.GetChild(i), flags);
        if (!hasWritten)
        {
            out += std::string("<") + tag + attributes + "/>\n";
            break;
        }
        out += std::string("<") + tag + attributes + ">\n";
        for (std::uint32_t i = 0; i < node.GetCount(); ++i)
            WriteNode(out, *node.GetChild(i), level + 1, flags, dict);
        out.append(static_cast<std::size_t>(level), '\t');
        out += std::string("</") + tag + ">\n";
        break;
    }
    default:
        break;
    }
}

std::string WriteDocument(const XNode& root, int flags)
{
    std::string out;
    const bool file = (flags & XNode::kWriteFile) != 0;
    if (file)
    {
        out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
               "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
               "<plist version=\"1.0\">\n";
    }
    WriteNode(out, root, 0, flags, !file && root.HasKey());
    if (file)
        out += "</plist>\n";
    return out;
}

bool WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size())
    {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

int ErrorNumber()
{
    return errno != 0 ? errno : EIO;
}

// Twelve hexadecimal digits that another process cannot guess; the counter
// keeps them apart within this process should the random source fail.
std::string UniqueSuffix()
{
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits))
    {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        bits = static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(now.tv_sec) << 30) ^
               (static_cast<std::uint64_t>(::getpid()) << 40);
    }
    bits += counter.fetch_add(1) * 0x9E3779B97F4A7C15ull;
    char text[16];
    std::snprintf(text, sizeof text, "%012llx", static_cast<unsigned long long>(bits & 0xFFFFFFFFFFFFull));
    return text;
}
} // namespace

std::string XNode::WriteToBuffer(int flags) const
{
    return WriteDocument(*this, flags);
}

std::size_t XNode::WriteToBuffer(char* buffer, std::size_t size, int flags) const
{
    if (buffer == nullptr || size == 0)
        return 0;
    const std::string text = WriteDocument(*this, flags);
    const std::size_t length = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

int XNode::WriteToFile(const char* path, int flags) const
{
    if (path == nullptr || *path == '\0')
        return EINVAL;
    const std::string text = WriteDocument(*this, flags);

    // Write beside the real file (through a link, if it is one), flush, then
    // rename over it: a crash leaves either the old file or the new one.
    std::string target = path;
    if (char* resolved = ::realpath(path, nullptr))
    {
        target = resolved;
        std::free(resolved);
    }
    struct stat existing;
    const bool replacing = ::stat(target.c_str(), &existing) == 0;

    // The temporary file is new, with a name of its own, and never reached
    // through a link: a name planted beforehand, or one that another writer
    // uses at the same moment, is never opened, written or renamed.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt)
    {
        temporary = target + ".tmp." + UniqueSuffix();
        errno = 0;
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST)
            return ErrorNumber();
    }
    if (fd < 0)
        return ErrorNumber();
    auto fail = [&]() {
        const int error = ErrorNumber();
        ::close(fd);
        ::unlink(temporary.c_str());
        return error;
    };

    if (replacing)
    {
        // The owner first: a change of owner may clear set-id bits that the
        // mode then restores.  Only a privileged process may give the file to
        // another user; others keep at least the group where they may.
        if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
            ::fchown(fd, existing.st_uid, existing.st_gid) != 0)
        {
            if (errno != EPERM)
                return fail();
            if (::fchown(fd, static_cast<uid_t>(-1), existing.st_gid) != 0 && errno != EPERM)
                return fail();
        }
        errno = 0;
        if (::fchmod(fd, existing.st_mode & 07777) != 0)
            return fail();
    }
    errno = 0;
    if (!WriteAll(fd, text) || ::fsync(fd) != 0)
        return fail();
    if (::close(fd) != 0 || ::rename(temporary.c_str(), target.c_str()) != 0)
    {
        const int error = ErrorNumber();
        ::unlink(temporary.c_str());
        return error;
    }
    // Make the rename itself durable.
    const std::size_t slash = target.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const int directoryFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directoryFd >= 0)
    {
        ::fsync(directoryFd);
        ::close(directoryFd);
    }
    return 0;
}
} // namespace Vx
