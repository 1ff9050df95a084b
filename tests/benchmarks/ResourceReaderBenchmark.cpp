// Reading a large generated skin file, beside expat alone on the same bytes:
// the reader should cost little more than the XML parse it rides on (aim: at
// most 1.2 times expat with handlers that do nothing).
//
// The file: a few hundred colorizers, parts and looks, look lists, and skins
// of nested controls, each control with every layout attribute, a nested skin
// and create parameters, as real skins are written.

#include "VxFramework/ControlBase/ResourceReader.h"

#include <benchmark/benchmark.h>
#include <expat.h>

#include <memory>
#include <string>
#include <vector>

namespace
{
std::string GeneratedSkin(int controls)
{
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Resources>\n <Colorizers>\n";
    for (int i = 0; i < 200; ++i)
        s += "  <Colorizer Name=\"c" + std::to_string(i) +
             "\" ColorType=\"LinearGradient\" Color=\"0xFF102030\" GradientEndColor=\"0xFF405060\" "
             "GradientStartX=\"0\" GradientStartY=\"0\" GradientEndX=\"0\" GradientEndY=\"1\"/>\n";
    s += " </Colorizers>\n <Parts>\n";
    for (int i = 0; i < 400; ++i)
        s += "  <Part Name=\"p" + std::to_string(i) + "\" Width=\"" + std::to_string(4 + i % 20) + "\" Height=\"" +
             std::to_string(4 + i % 10) + "\" ResizeType=\"Stretch\" ColorizerName=\"c" + std::to_string(i % 200) +
             "\" ColorizerAlphaMod=\"0.75\"/>\n";
    s += " </Parts>\n <Looks>\n";
    for (int i = 0; i < 300; ++i)
    {
        const std::string part = "p" + std::to_string(i % 400);
        s += "  <Look Name=\"l" + std::to_string(i) + "\">\n   <ClientPart Name=\"" + part +
             "\" OffsetLeft=\"2\" OffsetTop=\"2\" OffsetRight=\"-2\" OffsetBottom=\"-2\"/>\n"
             "   <TextProperties TextLeftRel=\"0\" TextLeftAbs=\"4\" TextRightRel=\"1\" TextRightAbs=\"-4\" "
             "TextHAlign=\"0.5\" TextTopRel=\"0\" TextTopAbs=\"2\" TextBottomRel=\"1\" TextBottomAbs=\"-2\" "
             "TextVAlign=\"0.5\" TextForegroundPart=\"" +
             part +
             "\"/>\n   <NonClientParts>\n"
             "    <NonClientPart Name=\"" +
             part + "\" OffsetLeft=\"0\" OffsetTop=\"0\" OffsetRight=\"0\" Height=\"1\"/>\n    <NonClientPart Name=\"" +
             part +
             "\" OffsetLeft=\"0\" OffsetBottom=\"0\" OffsetRight=\"0\" Height=\"1\"/>\n   </NonClientParts>\n"
             "  </Look>\n";
    }
    s += " </Looks>\n <LookLists>\n";
    for (int i = 0; i < 100; ++i)
    {
        s += "  <LookList Name=\"ll" + std::to_string(i) + "\" NumLooks=\"3\">\n";
        for (int k = 0; k < 3; ++k)
            s += "   <Look Name=\"l" + std::to_string((i * 3 + k) % 300) + "\" Index=\"" + std::to_string(k) + "\"/>\n";
        s += "  </LookList>\n";
    }
    s += " </LookLists>\n <Skins>\n  <Skin Name=\"Default\" FontName=\"Sans\" FontSize=\"14\" FontStyle=\"0\">\n";
    // Groups of ten controls under one parent, ten groups to a top-level
    // control.
    int made = 0;
    for (int top = 0; made < controls; ++top)
    {
        const auto control = [&](const std::string& name, int order, const std::string& indent) {
            ++made;
            s += indent + "<SubControl Class=\"TestApp.Panel\" Name=\"" + name +
                 "\" ClipToParent=\"True\" Z_Order=\"0\" TabStop=\"" + std::to_string(order) + "\" LayoutOrder=\"" +
                 std::to_string(order) +
                 "\" IsVisible=\"True\" XPlacementAnchor=\"0\" YPlacementAnchor=\"0.5\" XIsDocked=\"False\" "
                 "YIsDocked=\"False\" XPositionToControl=\"Client\" YPositionToControl=\"Client\" "
                 "XPositionRel=\"0\" YPositionRel=\"0.5\" XPositionAbs=\"12\" YPositionAbs=\"0\" "
                 "XSizeToControl=\"Client\" YSizeToControl=\"Self\" XSizeRel=\"1\" YSizeRel=\"0\" XSizeAbs=\"-24\" "
                 "YSizeAbs=\"40\" XMinSizeToControl=\"Self\" YMinSizeToControl=\"Self\" XMinSizeRel=\"0\" "
                 "YMinSizeRel=\"0\" XMinSizeAbs=\"0\" YMinSizeAbs=\"0\" XMaxSizeToControl=\"Self\" "
                 "YMaxSizeToControl=\"Self\" XMaxSizeRel=\"0\" YMaxSizeRel=\"0\" XMaxSizeAbs=\"0\" "
                 "YMaxSizeAbs=\"0\" TextDecoration=\"\" TextOverflowXType=\"Clip\" FontSize=\"1\" "
                 "FontSizeIsRelative=\"True\">\n" +
                 indent + " <Skin Name=\"" + name + "\" LookList=\"ll" + std::to_string(made % 100) + "\"/>\n" +
                 indent + " <CreateParamList>\n" + indent + "  <CreateParam ID=\"LABEL\">Label " + name +
                 "</CreateParam>\n" + indent + " </CreateParamList>\n";
        };
        const std::string topName = "top" + std::to_string(top);
        control(topName, 0, "   ");
        for (int group = 0; group < 10 && made < controls; ++group)
        {
            const std::string groupName = topName + "g" + std::to_string(group);
            control(groupName, 10 - group, "    ");
            for (int item = 0; item < 10 && made < controls; ++item)
            {
                control(groupName + "i" + std::to_string(item), item % 3, "     ");
                s += "     </SubControl>\n";
            }
            s += "    </SubControl>\n";
        }
        s += "   </SubControl>\n";
    }
    s += "  </Skin>\n </Skins>\n</Resources>\n";
    return s;
}

const std::string& Skin()
{
    static const std::string text = GeneratedSkin(5000);
    return text;
}

void BM_ExpatAlone(benchmark::State& state)
{
    const std::string& text = Skin();
    for (auto _ : state)
    {
        XML_Parser parser = XML_ParserCreate(nullptr);
        const XML_Status status = XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE);
        benchmark::DoNotOptimize(status);
        XML_ParserFree(parser);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ExpatAlone)->Unit(benchmark::kMillisecond);

void XMLCALL NoStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL NoEnd(void*, const XML_Char*) {}
void XMLCALL NoText(void*, const XML_Char*, int) {}

// Expat reporting every event to handlers that do nothing: the parse the
// reader cannot avoid.
void BM_ExpatWithEmptyHandlers(benchmark::State& state)
{
    const std::string& text = Skin();
    for (auto _ : state)
    {
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetElementHandler(parser, &NoStart, &NoEnd);
        XML_SetCharacterDataHandler(parser, &NoText);
        const XML_Status status = XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE);
        benchmark::DoNotOptimize(status);
        XML_ParserFree(parser);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ExpatWithEmptyHandlers)->Unit(benchmark::kMillisecond);

// The whole read: parse and model.  Each model is kept until the end, as the
// application keeps its one model: the heap is never fed the free chunks of a
// model just released, which a real start-up does not have either.
void BM_ResourceReader(benchmark::State& state)
{
    const std::string& text = Skin();
    std::vector<std::unique_ptr<Vx::ResourceReader>> readers;
    for (auto _ : state)
    {
        readers.push_back(std::make_unique<Vx::ResourceReader>("TestApp"));
        const Vx::VxRESULT result = readers.back()->ReadSkins(std::string_view(text));
        benchmark::DoNotOptimize(result);
        if (result != 0 || readers.back()->GetModel().skinRoots.GetCount() != 1)
            state.SkipWithError("the generated skin did not read");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
    state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ResourceReader)->Unit(benchmark::kMillisecond)->Iterations(20);
} // namespace

BENCHMARK_MAIN();
