// "Encoder" and every page below it: each page is a short list of controls bound to its
// model in encoders/FormatPages.h. The MP3 and the library-encoder pages are here, the
// external-program pages in EncoderPagesExternal.cpp.
#include "ui/EncoderPages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include "app/Prompter.h"
#include "app/Settings.h"
#include "encoders/FormatPages.h"
#include "encoders/OutputFormat.h"

namespace quarrow::ui {

namespace {

template <class Model>
std::unique_ptr<ModelPage<Model>> Page(const char* path, const PageContext& c,
                                       std::shared_ptr<Model> m = std::make_shared<Model>()) {
    return std::make_unique<ModelPage<Model>>(QString::fromUtf8(path), c, std::move(m));
}

std::vector<std::string> Rates() { return SampleRateListEntries(); }
std::vector<std::string> Bitrates() { return BitrateListEntries(false); }

// "Channel Mode" with "Mono" and "Stereo"; Stereo only while stereo(), Mono while mono().
void ChannelMode(PageForm& f, IntGet get, IntSet set, BoolGet monoOn, BoolGet stereoOn) {
    f.beginGroup("Channel Mode");
    auto r = f.radios({"Mono", "Stereo"}, std::move(get), std::move(set));
    f.endGroup();
    if (monoOn) f.enabledWhen(r[0], std::move(monoOn));
    if (stereoOn) f.enabledWhen(r[1], std::move(stereoOn));
}

// ---- "Encoder" ----------------------------------------------------------------------
std::unique_ptr<OptionsPage> EncoderPage(const PageContext& c, const EncoderPagesState& state) {
    auto p = Page<CEncoderOptionPage>("Encoder", c);
    auto m = p->model;
    PageForm& f = p->form;
    f.combo("Audio Format:", [m] { return m->formatItems(); }, [m] { return m->formatSel; },
            [m, c, state](int i) { m->SelectFormat(i, state.probe(), *c.prompter); });
    auto* freq = f.combo("Sampling Frequency:", [m] { return m->freqItems; }, [m] { return m->freqSel; },
                         [m](int i) { m->freqSel = i; });
    ChannelMode(f, [m] { return m->mono ? 0 : 1; }, [m](int i) { m->SetMono(i == 0); },
                [m] { return m->dependentEnabled; }, [m] { return m->stereoEnabled; });
    auto* ext = f.combo("File Extension:", [m] { return m->extItems; }, [m] { return m->extSel; },
                        [m](int i) { m->extSel = i; });
    auto* codec = f.combo("Codec:", [m] { return m->codecItems; }, [m] { return m->codecSel; },
                          [m](int i) { m->SelectCodec(i); });
    f.enabledWhen({freq, ext, codec}, [m] { return m->dependentEnabled; });
    f.beginGroup("Normalization (Not Recommended)");
    f.check("Enable Normalization", [m] { return m->normalize; }, [m](bool on) { m->SetNormalize(on); });
    auto* percent = f.spin("", 1, 100, [m] { return m->norPer; }, [m](int v) { m->norPer = v; }, " %");
    f.enabledWhen(percent, [m] { return m->norPerEnabled(); });
    f.check("Enable Leveling", m->leveling);
    f.endGroup();
    f.check("High Quality Resampling", m->resample);
    f.stretch();
    return p;
}

// ---- "Encoder::WAV", "Encoder::AIFF" ------------------------------------------------
std::unique_ptr<OptionsPage> ContainerPage(const char* path, int id, const PageContext& c) {
    auto p = Page<CContainerFormatPage>(path, c, std::make_shared<CContainerFormatPage>(id));
    auto m = p->model;
    PageForm& f = p->form;
    f.combo("Sampling Frequency:", Rates(), m->freqSel);
    ChannelMode(f, [m] { return m->mono ? 0 : 1; }, [m](int i) { m->SetMono(i == 0); }, nullptr,
                [m] { return m->stereoEnabled; });
    if (!m->extItems().empty()) f.combo("File Extension:", m->extItems(), m->extSel);
    f.combo("Codec:", [m] { return m->codecItems(); }, [m] { return m->codecSel; }, [m](int i) { m->SelectCodec(i); });
    f.stretch();
    return p;
}

// ---- MP3 ----------------------------------------------------------------------------
// Showing the CBR, VBR or Preset page chooses the coding mode stored on OK.
template <class Model>
void Mp3Mode(ModelPage<Model>& p, const EncoderPagesState& state) {
    auto tab = state.mp3Tab;
    p.onShown = [m = p.model, tab] {
        CSettings probe;
        m->OnShown(probe);
        *tab = probe.MP3.LameTab;
    };
    p.afterApply = [tab](CSettings& s) {
        if (*tab != 0) s.MP3.LameTab = static_cast<int16_t>(*tab);
    };
}

std::unique_ptr<OptionsPage> Mp3CbrPage(const PageContext& c, const EncoderPagesState& state) {
    auto p = Page<CMp3CbrPage>("Encoder::MP3::CBR", c);
    auto m = p->model;
    PageForm& f = p->form;
    f.combo("Sampling Frequency:", Rates(), m->freqSel);
    f.combo("Bits per Second:", Bitrates(), m->bitsSel);
    f.slider(0, 9, [m] { return m->quality; }, [m](int v) { m->quality = v; }, [m] { return m->qualityText(); });
    f.combo("Channel Mode:", CMp3CbrPage::channelItems(), m->channelSel);
    f.text(kMp3CbrNote);
    f.stretch();
    Mp3Mode(*p, state);
    return p;
}

std::unique_ptr<OptionsPage> Mp3VbrPage(const PageContext& c, const EncoderPagesState& state) {
    auto p = Page<CMp3VbrPage>("Encoder::MP3::VBR", c);
    auto m = p->model;
    PageForm& f = p->form;
    f.combo("Coding Mode:", CMp3VbrPage::codingModeItems(), m->codingMode);
    auto* minBits = f.combo("Minimum VBR Bitrate:", Bitrates(), m->minSel);
    auto* maxBits = f.combo("Maximum VBR Bitrate:", Bitrates(), m->maxSel);
    auto* target = f.spin("Target Bitrate for ABR:", 8, 320, [m] { return m->targetBit; },
                          [m](int v) { m->targetBit = v; }, " kbps");
    f.check("Write VBR Header", m->writeHeader);
    f.check("Bit Reservoir", m->bitReservoir);
    auto* quality = f.slider(0, 1000, [m] { return m->quality; }, [m](int v) { m->quality = v; },
                             [m] { return m->qualityText(); });
    f.enabledWhen({minBits, maxBits, quality}, [m] { return m->vbrControlsEnabled(); });
    f.enabledWhen(target, [m] { return m->abrTargetEnabled(); });
    f.stretch();
    Mp3Mode(*p, state);
    return p;
}

std::unique_ptr<OptionsPage> Mp3PresetPage(const PageContext& c, const EncoderPagesState& state) {
    auto p = Page<CMp3PresetPage>("Encoder::MP3::Preset", c);
    auto m = p->model;
    PageForm& f = p->form;
    f.beginGroup("Lame Preset");
    f.combo("", CMp3PresetPage::presetItems(), m->presetSel);
    f.caption([m] { return m->description(); });
    f.endGroup();
    f.stretch();
    Mp3Mode(*p, state);
    return p;
}

std::unique_ptr<OptionsPage> Mp3FilterPage(const PageContext& c) {
    auto p = Page<CMp3FilterPage>("Encoder::MP3::Filtering", c);
    auto m = p->model;
    PageForm& f = p->form;
    // One filter: its switch, then its frequency and width in Hz.
    auto filter = [&](const char* title, bool& on, int& freq, int& width) {
        f.beginGroup(title);
        f.check("Enable", on);
        auto* a = f.spin("Frequency:", 0, 48000, [&freq] { return freq; }, [&freq](int v) { freq = v; }, " Hz");
        auto* b = f.spin("Width:", 0, 48000, [&width] { return width; }, [&width](int v) { width = v; }, " Hz");
        f.endGroup();
        f.enabledWhen({a, b}, [&on] { return on; });
    };
    filter("HighPass Filtering Frequency:", m->highPass, m->highFreq, m->highWidth);
    filter("LowPass Filtering Frequency:", m->lowPass, m->lowFreq, m->lowWidth);
    f.text(kMp3FilterWarning);
    f.stretch();
    return p;
}

std::unique_ptr<OptionsPage> Mp3ExpertPage(const PageContext& c) {
    auto p = Page<CMp3ExpertPage>("Encoder::MP3::Expert", c);
    auto m = p->model;
    PageForm& f = p->form;
    f.check("Comply as Much as Possible to ISO MPEG Spec", m->complyIso);
    f.check("Copyright", m->copyright);
    f.check("CRC Checksum", m->crc);
    f.check("Original", m->original);
    f.check("Private", m->privateBit);
    QStringList id3;
    for (const std::string& s : CMp3ExpertPage::id3Items()) id3 << QString::fromStdString(s);
    f.radios(id3, [m] { return m->id3; }, [m](int i) { m->id3 = i; });
    f.stretch();
    return p;
}

// A page that only points to its sub-pages.
class NotePage : public OptionsPage {
public:
    NotePage(const char* path, const char* note, const PageContext& c) : OptionsPage(path, c), form_(this) {
        form_.text(note);
        form_.stretch();
    }
    void load(const CSettings&) override {}
    bool apply(CSettings&) override { return true; }

private:
    PageForm form_;
};

// ---- Library encoders ---------------------------------------------------------------
std::unique_ptr<OptionsPage> WmaPage(const PageContext& c) {
    auto p = Page<CWmaPage>("Encoder::WMA", c);
    auto m = p->model;
    PageForm& f = p->form;
    f.combo("Mode:", [] { return CWmaPage::modeItems(); }, [m] { return m->modeSel; }, [m](int i) { m->SelectMode(i); });
    f.combo("Codec:", [m] { return m->codecItems(); }, [m] { return m->codecSel; }, [m](int i) { m->SelectCodec(i); });
    f.combo("Preset:", [m] { return m->presetItems(); }, [m] { return m->presetSel; },
            [m](int i) { m->SelectPreset(i); });
    f.stretch();
    return p;
}

std::unique_ptr<OptionsPage> OggPage(const PageContext& c) {
    auto p = Page<COggPage>("Encoder::OGG", c);
    auto m = p->model;
    PageForm& f = p->form;
    f.combo("Sampling Frequency:", Rates(), m->freqSel);
    // Bit-rate mode or quality mode, one choice.
    f.radios({"Nominal Bitrate:", "Quality :"}, [m] { return m->qualityMode ? 1 : 0; },
                         [m](int i) { m->qualityMode = i == 1; });
    auto* nominal = f.combo("", Bitrates(), m->nomiSel);
    f.enabledWhen(nominal, [m] { return m->nominalEnabled(); });
    f.beginGroup("Expert Options");
    auto* vbr = f.check("VBR", m->vbr);
    auto* minBits = f.combo("Minimum Bitrate:", Bitrates(), m->minSel);
    auto* maxBits = f.combo("Maximum Bitrate:", Bitrates(), m->maxSel);
    f.endGroup();
    f.enabledWhen(vbr, [m] { return m->nominalEnabled(); });
    f.enabledWhen({minBits, maxBits}, [m] { return m->minMaxEnabled(); });
    auto* quality = f.slider(-10, 100, [m] { return m->quality; }, [m](int v) { m->quality = v; },
                             [m] { return m->qualityText(); });
    f.ends("Fastest", "Best");
    f.enabledWhen(quality, [m] { return m->qualityEnabled(); });
    ChannelMode(f, [m] { return m->mono ? 0 : 1; }, [m](int i) { m->mono = i == 0; }, nullptr, nullptr);
    f.stretch();
    return p;
}

std::unique_ptr<OptionsPage> ApePage(const PageContext& c) {
    auto p = Page<CApePage>("Encoder::APE", c);
    p->form.combo("Compression Level", CApePage::levelItems(), p->model->levelSel);
    p->form.stretch();
    return p;
}

std::unique_ptr<OptionsPage> FlacPage(const PageContext& c) {
    auto p = Page<CFlacPage>("Encoder::FLAC", c);
    auto m = p->model;
    PageForm& f = p->form;
    f.check("Ogg FLAC", [m] { return m->oggFlac; }, [m, c](bool on) { m->SetOggFlac(on, *c.prompter); });
    f.check("Verify", m->verify);
    f.combo("Compression Level:", CFlacPage::levelItems(), m->levelSel);
    f.combo("Block Size:", CFlacPage::blockSizeItems(), m->blockSel);
    f.stretch();
    return p;
}

std::unique_ptr<OptionsPage> Mp2Page(const PageContext& c) {
    auto p = Page<CMp2Page>("Encoder::MP2", c);
    auto m = p->model;
    PageForm& f = p->form;
    f.combo("Sampling Frequency:", CMp2Page::freqItems(), m->freqPos);
    f.combo("Bits per Second:", BitrateListEntries(true), m->bitsSel);
    f.combo("Channel Mode:", CMp2Page::channelItems(), m->channelSel);
    f.check("Copyright", m->copyright);
    f.check("Original", m->original);
    f.stretch();
    return p;
}

std::unique_ptr<OptionsPage> VqfPage(const PageContext& c) {
    auto p = Page<CVqfPage>("Encoder::VQF", c);
    auto m = p->model;
    PageForm& f = p->form;
    f.combo("Profile:", CVqfPage::profileItems(), m->profileSel);
    f.slider(CVqfPage::kMinQuality, CVqfPage::kMaxQuality, [m] { return m->quality; },
             [m](int v) { m->quality = v; }, [m] { return m->qualityText(); });
    f.stretch();
    return p;
}

// ---- WavPack: one model for the page and its Hybrid sub-page ------------------------
std::unique_ptr<OptionsPage> WavPackPage(const PageContext& c, std::shared_ptr<CWavPackPage> m) {
    auto p = Page<CWavPackPage>("Encoder::WV", c, m);
    PageForm& f = p->form;
    f.combo("Encoding Mode:", CWavPackPage::modeItems(), m->modeSel);
    f.combo("Compression Level:", CWavPackPage::levelItems(), m->levelSel);
    f.combo("Joint Stereo:", CWavPackPage::stereoItems(), m->stereoSel);
    f.combo("Extra Processing:", CWavPackPage::extraItems(), m->extraSel);
    f.check("Specify Block Size", m->enableBlockSize);
    auto* block = f.slider(CWavPackPage::kMinBlock, CWavPackPage::kMaxBlock, [m] { return m->blockSize; },
                           [m](int v) { m->blockSize = v; }, [m] { return m->blockSizeText(); });
    auto* merge = f.check("Merge Blocks", m->merge);
    f.enabledWhen({block, merge}, [m] { return m->enableBlockSize; });
    f.stretch();
    return p;
}

std::unique_ptr<OptionsPage> WavPackHybridPage(const PageContext& c, std::shared_ptr<CWavPackPage> m) {
    auto p = std::make_unique<ModelPage<CWavPackPage>>("Encoder::WV::Hybrid", c, m);
    PageForm& f = p->form;
    auto* kbps = f.slider(CWavPackPage::kMinKbps, CWavPackPage::kMaxKbps, [m] { return m->kbps; },
                          [m](int v) { m->kbps = v; }, [m] { return m->bitrateText(); });
    f.check("Maximum Hybrid Compression", m->maxHybrid);
    f.check("Create Correction File", m->correction);
    f.check("Calculate Noise", m->calcNoise);
    f.check("Noise Shaping Override", m->enableShape);
    auto* shape = f.slider(-100, 100, [m] { return m->shape; }, [m](int v) { m->shape = v; },
                           [m] { return m->shapingText(); });
    auto* dynamic = f.check("Dynamic Shaping", m->dynamic);
    f.enabledWhen(kbps, [m] { return m->kbpsEnabled(); });
    f.enabledWhen(shape, [m] { return m->shapeEnabled(); });
    f.enabledWhen(dynamic, [m] { return m->dynamicEnabled(); });
    f.stretch();
    return p;
}

}  // namespace

CSettings EncoderPagesState::probe() const {
    CSettings s = loaded ? *loaded : CSettings{};
    if (custom) {
        s.CUSTOM.Encoder = custom->encoder;
        s.CUSTOM.Parameter = custom->parameter;
        s.CUSTOM.FileExt = custom->extension;
    }
    return s;
}

PageList MakeEncoderPages(const PageContext& context) {
    EncoderPagesState state;
    state.loaded = std::make_shared<CSettings>();
    state.custom = std::make_shared<CCustomPage>();
    state.mp3Tab = std::make_shared<int>(0);
    auto wv = std::make_shared<CWavPackPage>();

    PageList pages;
    auto encoder = EncoderPage(context, state);
    // The "Encoder" page keeps the record it was loaded from, for the customised check.
    static_cast<ModelPage<CEncoderOptionPage>*>(encoder.get())->onLoad = [loaded = state.loaded](const CSettings& s) {
        *loaded = s;
    };
    pages.push_back(std::move(encoder));
    pages.push_back(ContainerPage("Encoder::WAV", 1, context));
    pages.push_back(ContainerPage("Encoder::AIFF", 9, context));
    pages.push_back(std::make_unique<NotePage>("Encoder::MP3", kMp3ParentText, context));
    pages.push_back(Mp3CbrPage(context, state));
    pages.push_back(Mp3VbrPage(context, state));
    pages.push_back(Mp3FilterPage(context));
    pages.push_back(Mp3ExpertPage(context));
    pages.push_back(Mp3PresetPage(context, state));
    pages.push_back(WmaPage(context));
    pages.push_back(OggPage(context));
    pages.push_back(ApePage(context));
    pages.push_back(FlacPage(context));
    pages.push_back(Mp2Page(context));
    pages.push_back(VqfPage(context));
    AppendExternalPages(pages, context, state, EncoderPagesState::Group::Aac);
    pages.push_back(WavPackPage(context, wv));
    pages.push_back(WavPackHybridPage(context, wv));
    AppendExternalPages(pages, context, state, EncoderPagesState::Group::Custom);
    return pages;
}

}  // namespace quarrow::ui
