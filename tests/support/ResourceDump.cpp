#include "tests/support/ResourceDump.h"

#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace VxTest
{
namespace
{
using Text = Vx::StringT<char, unsigned short>;

class Writer
{
public:
    explicit Writer(const std::string& hide) : mHide(hide) {}

    // The text quoted, with control characters, quotes and backslashes
    // escaped so that every item stays on one line.
    std::string Quote(const Text& text) const
    {
        std::string plain = text.GetCString() != nullptr ? text.GetCString() : "";
        if (!mHide.empty())
        {
            for (std::size_t at = plain.find(mHide); at != std::string::npos; at = plain.find(mHide, at + 4))
                plain.replace(at, mHide.size(), "$RES");
        }
        std::string out = "\"";
        for (const unsigned char c : plain)
        {
            if (c == '"' || c == '\\')
            {
                out += '\\';
                out += static_cast<char>(c);
            }
            else if (c == '\n')
                out += "\\n";
            else if (c == '\t')
                out += "\\t";
            else if (c == '\r')
                out += "\\r";
            else if (c < 0x20)
            {
                char code[8];
                std::snprintf(code, sizeof code, "\\x%02x", c);
                out += code;
            }
            else
                out += static_cast<char>(c);
        }
        return out + "\"";
    }

    void Line(int indent, const std::string& text)
    {
        mOut.append(static_cast<std::size_t>(indent) * 2, ' ');
        mOut += text;
        mOut += '\n';
    }

    std::string& Out() { return mOut; }

private:
    std::string mHide;
    std::string mOut;
};

// Enough digits to tell any two values of the type apart.
std::string Real(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string Real(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string Colour(const Vx::Color& colour)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", colour.ToARGB());
    return text;
}

std::string Dock(const Vx::DockInfo& dock)
{
    std::string text = "edges " + std::to_string(dock.edgeMask) + " (" + std::to_string(dock.left) + ", " +
                       std::to_string(dock.top) + ", " + std::to_string(dock.right) + ", " +
                       std::to_string(dock.bottom) + ")";
    text += dock.hasWidth ? " width " + std::to_string(dock.width) : " width -";
    text += dock.hasHeight ? " height " + std::to_string(dock.height) : " height -";
    return text;
}

std::string Bitmap(const Writer& w, const Vx::BitmapSource& source)
{
    return w.Quote(source.file) + " (" + std::to_string(source.x) + ", " + std::to_string(source.y) + ", " +
           std::to_string(source.width) + ", " + std::to_string(source.height) + ")";
}

std::string PartName(const Writer& w, const Vx::RCPtr<Vx::LVisualPartDescriptor>& part)
{
    return part.IsNull() ? "-" : w.Quote(part->GetName());
}

// The layout's fields that differ from a new descriptor's, as name=value.
std::string Layout(const Writer& w, const Vx::LLayoutDescriptor& l)
{
    static const Vx::LLayoutDescriptor d;
    std::vector<std::string> fields;
    const auto flag = [&](const char* name, bool value, bool base) {
        if (value != base)
            fields.push_back(std::string(name) + "=" + (value ? "1" : "0"));
    };
    const auto integer = [&](const char* name, std::int64_t value, std::int64_t base) {
        if (value != base)
            fields.push_back(std::string(name) + "=" + std::to_string(value));
    };
    const auto real = [&](const char* name, auto value, auto base) {
        if (value != base)
            fields.push_back(std::string(name) + "=" + Real(value));
    };
    const auto text = [&](const char* name, const Text& value, const Text& base) {
        if (!(value == base))
            fields.push_back(std::string(name) + "=" + w.Quote(value));
    };
    flag("ClipToParent", l.ClipToParent, d.ClipToParent);
    integer("Z_Order", l.Z_Order, d.Z_Order);
    integer("TabStop", l.TabStop, d.TabStop);
    flag("IsVisible", l.IsVisible, d.IsVisible);
    flag("IsEnabled", l.IsEnabled, d.IsEnabled);
    flag("XIsDocked", l.XIsDocked, d.XIsDocked);
    flag("YIsDocked", l.YIsDocked, d.YIsDocked);
    real("XPlacementAnchor", l.XPlacementAnchor, d.XPlacementAnchor);
    integer("XPositionReference", l.XPositionReference, d.XPositionReference);
    text("XPositionControlName", l.XPositionControlName, d.XPositionControlName);
    real("XPositionRel", l.XPositionRel, d.XPositionRel);
    real("XPositionAbs", l.XPositionAbs, d.XPositionAbs);
    real("YPlacementAnchor", l.YPlacementAnchor, d.YPlacementAnchor);
    integer("YPositionReference", l.YPositionReference, d.YPositionReference);
    text("YPositionControlName", l.YPositionControlName, d.YPositionControlName);
    real("YPositionRel", l.YPositionRel, d.YPositionRel);
    real("YPositionAbs", l.YPositionAbs, d.YPositionAbs);
    integer("XSizeReference", l.XSizeReference, d.XSizeReference);
    text("XSizeControlName", l.XSizeControlName, d.XSizeControlName);
    real("XSizeRel", l.XSizeRel, d.XSizeRel);
    real("XSizeAbs", l.XSizeAbs, d.XSizeAbs);
    integer("YSizeReference", l.YSizeReference, d.YSizeReference);
    text("YSizeControlName", l.YSizeControlName, d.YSizeControlName);
    real("YSizeRel", l.YSizeRel, d.YSizeRel);
    real("YSizeAbs", l.YSizeAbs, d.YSizeAbs);
    integer("XMinSizeReference", l.XMinSizeReference, d.XMinSizeReference);
    text("XMinSizeControlName", l.XMinSizeControlName, d.XMinSizeControlName);
    real("XMinSizeRel", l.XMinSizeRel, d.XMinSizeRel);
    real("XMinSizeAbs", l.XMinSizeAbs, d.XMinSizeAbs);
    integer("YMinSizeReference", l.YMinSizeReference, d.YMinSizeReference);
    text("YMinSizeControlName", l.YMinSizeControlName, d.YMinSizeControlName);
    real("YMinSizeRel", l.YMinSizeRel, d.YMinSizeRel);
    real("YMinSizeAbs", l.YMinSizeAbs, d.YMinSizeAbs);
    integer("XMaxSizeReference", l.XMaxSizeReference, d.XMaxSizeReference);
    text("XMaxSizeControlName", l.XMaxSizeControlName, d.XMaxSizeControlName);
    real("XMaxSizeRel", l.XMaxSizeRel, d.XMaxSizeRel);
    real("XMaxSizeAbs", l.XMaxSizeAbs, d.XMaxSizeAbs);
    integer("YMaxSizeReference", l.YMaxSizeReference, d.YMaxSizeReference);
    text("YMaxSizeControlName", l.YMaxSizeControlName, d.YMaxSizeControlName);
    real("YMaxSizeRel", l.YMaxSizeRel, d.YMaxSizeRel);
    real("YMaxSizeAbs", l.YMaxSizeAbs, d.YMaxSizeAbs);
    text("TextDecoration", l.TextDecoration, d.TextDecoration);
    integer("TextOverflowXType", l.TextOverflowXType, d.TextOverflowXType);
    integer("TextOverflowYType", l.TextOverflowYType, d.TextOverflowYType);
    integer("LayoutOrder", l.LayoutOrder, d.LayoutOrder);
    std::string out = "layout";
    if (fields.empty())
        return out + " (defaults)";
    for (const std::string& field : fields)
        out += " " + field;
    return out;
}

std::string LookListText(const Writer& w, const Vx::RCPtr<Vx::LookList>& list)
{
    if (list.IsNull())
        return "-";
    std::string out = "[" + std::to_string(list->GetCount()) + "]";
    for (std::uint32_t i = 0; i < list->GetCount(); ++i)
        out += " " + ((*list)[i].IsNull() ? std::string("-") : w.Quote((*list)[i]->GetName()));
    return out;
}

// The name under which the model registered the list, or its entries.
std::string LookListName(const Writer& w, const Vx::ResourceModel& model, const Vx::RCPtr<Vx::LookList>& list)
{
    if (list.IsNull())
        return "-";
    for (const auto& [name, registered] : model.lookLists)
        if (registered.Get() == list.Get())
            return w.Quote(name);
    return "(unregistered) " + LookListText(w, list);
}

void Skin(Writer& w, const Vx::ResourceModel& model, int indent, const Vx::RCPtr<Vx::LSkinDescriptor>& skin)
{
    if (skin.IsNull())
    {
        w.Line(indent, "skin -");
        return;
    }
    w.Line(indent, "skin " + w.Quote(skin->name) + " looks " + LookListName(w, model, skin->lookList) + " font " +
                       w.Quote(skin->fontName) + " size " + Real(skin->fontSize) + " style " +
                       std::to_string(skin->fontStyle) + " inherits " +
                       std::to_string(skin->fontInheritsFromParent ? 1 : 0) + " relative " +
                       std::to_string(skin->fontSizeIsRelative ? 1 : 0));
}

void Control(Writer& w, const Vx::ResourceModel& model, int indent, const Vx::LControlDescriptor& control)
{
    w.Line(indent, w.Quote(control.GetClassName()) + " " + w.Quote(control.GetName()));
    Skin(w, model, indent + 1, control.GetSkin());
    if (!control.GetLayout().IsNull())
        w.Line(indent + 1, Layout(w, *control.GetLayout()));
    if (!control.GetCreateParams().IsNull())
    {
        std::string params = "params";
        for (const auto& [key, value] : control.GetCreateParams()->GetEntries())
            params += " " + w.Quote(key) + "=" + w.Quote(value);
        w.Line(indent + 1, params);
    }
    for (std::uint32_t i = 0; i < control.GetChildren().GetCount(); ++i)
        Control(w, model, indent + 1, *control.GetChildren()[i]);
}
} // namespace

std::string DumpResources(const Vx::ResourceModel& model, const std::string& hide)
{
    Writer w(hide);
    w.Line(0, "application " + w.Quote(model.applicationName));
    w.Line(0, "locale " + std::to_string(model.selectedLocale));
    w.Line(0, "resource base " + w.Quote(model.resourceBase));

    w.Line(0, "string tables");
    for (const auto& [id, table] : model.stringTables)
    {
        w.Line(1, w.Quote(id));
        for (const auto& [key, value] : table)
            w.Line(2, w.Quote(key) + " = " + w.Quote(value));
    }

    static const char* const kColorizerTypes[] = {"solid", "linear", "radial"};
    w.Line(0, "colorizers");
    for (const auto& [name, c] : model.colorizers)
    {
        const std::int32_t type = c->GetType();
        std::string line =
            w.Quote(name) + " " + (type >= 0 && type <= 2 ? kColorizerTypes[type] : "?") + " " + Colour(c->GetColor());
        if (type != Vx::LColorizer::kSolid)
            line += " -> " + Colour(c->GetEndColor()) + " (" + Real(c->GetStartX()) + ", " + Real(c->GetStartY()) +
                    ") -> (" + Real(c->GetEndX()) + ", " + Real(c->GetEndY()) + ")";
        w.Line(1, line);
    }

    static const char* const kResizeTypes[] = {"stretch", "tile", "center"};
    w.Line(0, "visual parts");
    for (const auto& [name, p] : model.visualParts)
    {
        const std::int32_t resize = p->GetResizeType();
        std::string line = w.Quote(name) + " " + std::to_string(p->GetSize().x) + "x" + std::to_string(p->GetSize().y) +
                           " " + (resize >= 0 && resize <= 2 ? kResizeTypes[resize] : "?");
        if (!p->GetImage().file.IsEmpty())
            line += " image " + Bitmap(w, p->GetImage());
        if (!p->GetColorizer().IsNull())
            line += " colorizer " + w.Quote(p->GetColorizer()->GetName()) + " alpha " +
                    Real(p->GetColorizerAlphaModulation());
        if (!p->GetMask().file.IsEmpty())
            line += " mask " + Bitmap(w, p->GetMask());
        w.Line(1, line);
    }

    w.Line(0, "looks");
    for (const auto& [name, look] : model.looks)
    {
        w.Line(1, w.Quote(name));
        if (!look->GetClientPart().IsNull())
            w.Line(2, "client " + PartName(w, look->GetClientPart()->GetPart()) + " " +
                          Dock(look->GetClientPart()->GetDock()));
        if (look->HasTextArea())
        {
            const Vx::LLookDescriptor::TextArea& a = look->GetTextArea();
            w.Line(2, "text " + PartName(w, look->GetTextForegroundPart()) + " left " + Real(a.leftRel) + "+" +
                          std::to_string(a.leftAbs) + " right " + Real(a.rightRel) + "+" + std::to_string(a.rightAbs) +
                          " h " + Real(a.horizontalAlignment) + " top " + Real(a.topRel) + "+" +
                          std::to_string(a.topAbs) + " bottom " + Real(a.bottomRel) + "+" +
                          std::to_string(a.bottomAbs) + " v " + Real(a.verticalAlignment));
        }
        const Vx::RCPtrArray<Vx::LDockedPart>& parts = look->GetNonClientParts();
        for (std::uint32_t i = 0; i < parts.GetCount(); ++i)
            w.Line(2, "non-client " + PartName(w, parts[i]->GetPart()) + " " + Dock(parts[i]->GetDock()));
    }

    w.Line(0, "look lists");
    for (const auto& [name, list] : model.lookLists)
        w.Line(1, w.Quote(name) + " " + LookListText(w, list));

    w.Line(0, "skins (current " + std::to_string(model.currentSkinIndex) + ")");
    for (std::uint32_t i = 0; i < model.skinRoots.GetCount(); ++i)
        Control(w, model, 1, *model.skinRoots[i]);
    return w.Out();
}
} // namespace VxTest
