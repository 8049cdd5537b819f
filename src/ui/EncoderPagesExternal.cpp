// The pages of the external encoder programs: AAC with its three encoder sub-pages (one
// model, applied once by the AAC page), MPC, and the customised encoder with its browse,
// Load and Save buttons.
#include <QFileDialog>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>

#include <cstdio>

#include "app/Prompter.h"
#include "encoders/FormatPages.h"
#include "ui/EncoderPages.h"

namespace quarrow::ui {

namespace {

// A 16-bit setting of the AAC record as a list or radio position.
IntGet Get(const int16_t& field) { return [&field] { return static_cast<int>(field); }; }
IntSet Set(int16_t& field) { return [&field](int v) { field = static_cast<int16_t>(v); }; }
IntGet Get(const int32_t& field) { return [&field] { return static_cast<int>(field); }; }
IntSet Set(int32_t& field) { return [&field](int v) { field = v; }; }

using AacPage = ModelPage<CAacPage>;

std::unique_ptr<AacPage> AacMainPage(const PageContext& c, std::shared_ptr<CAacPage> m) {
    auto p = std::make_unique<AacPage>("Encoder::AAC", c, m);
    PageForm& f = p->form;
    const ProgramFinder find = DefaultProgramFinder(c.home);
    f.combo("AAC Encoder:", [] { return CAacPage::encoderItems(); }, Get(m->v.Encoder),
            [m, c, find](int i) { m->SelectEncoder(i, find, *c.prompter); });
    f.combo("Container Format:", [] { return CAacPage::containerItems(); }, Get(m->v.ContainerFormat),
            [m, c](int i) { m->SelectContainer(i, *c.prompter); });
    f.stretch();
    return p;
}

std::unique_ptr<AacPage> FaacPage(const PageContext& c, std::shared_ptr<CAacPage> m) {
    auto p = std::make_unique<AacPage>("Encoder::AAC::FAAC", c, m);
    PageForm& f = p->form;
    CSettings::Aac& v = m->v;
    f.radios({"Quality", "Average Bitrate (ABR)"}, Get(v.FAACEncMode), Set(v.FAACEncMode));
    auto* quality = f.slider(10, 500, Get(v.FAACQuality), Set(v.FAACQuality), [m] { return m->faacQualityText(); });
    auto* abr = f.slider(60, 152, Get(v.FAACAbr), Set(v.FAACAbr), [m] { return m->faacAbrText(); });
    f.enabledWhen(quality, [m] { return m->v.FAACEncMode == 0; });
    f.enabledWhen(abr, [m] { return m->v.FAACEncMode == 1; });
    f.combo("Object Type:", [] { return CAacPage::faacObjectItems(); }, Get(v.FAACObjType), Set(v.FAACObjType));
    f.combo("Block Type:", [] { return CAacPage::faacBlockItems(); }, Get(v.FAACBlkType), Set(v.FAACBlkType));
    f.check("Temporal Noise Shaping", v.FAACTns);
    f.check("Mid/Side Coding", v.FAACMidside);
    f.beginGroup("MPEG Version");
    f.radios({"MPEG-2", "MPEG-4"}, Get(v.MPEGVer), Set(v.MPEGVer));
    f.endGroup();
    f.stretch();
    return p;
}

std::unique_ptr<AacPage> NeroPage(const PageContext& c, std::shared_ptr<CAacPage> m) {
    auto p = std::make_unique<AacPage>("Encoder::AAC::Nero", c, m);
    PageForm& f = p->form;
    CSettings::Aac& v = m->v;
    f.radios({"Quality", "Average Bitrate (ABR)", "Constant Bitrate (CBR)"}, Get(v.NEROEncMode), Set(v.NEROEncMode));
    auto* quality = f.slider(0, 100, Get(v.NEROQuality), Set(v.NEROQuality), [m] {
        char text[32];
        std::snprintf(text, sizeof text, "Quality: %3.2f", m->v.NEROQuality * 0.01);
        return std::string(text);
    });
    auto* abr = f.spin("ABR:", 8000, 320000, Get(v.NEROAbr), Set(v.NEROAbr), " bps");
    auto* cbr = f.spin("CBR:", 8000, 320000, Get(v.NEROEncCbr), Set(v.NEROEncCbr), " bps");
    f.enabledWhen(quality, [m] { return m->v.NEROEncMode == 0; });
    f.enabledWhen(abr, [m] { return m->v.NEROEncMode == 1; });
    f.enabledWhen(cbr, [m] { return m->v.NEROEncMode == 2; });
    f.combo("Profile:", [] { return CAacPage::neroProfileItems(); }, Get(v.NEROForPro), Set(v.NEROForPro));
    f.stretch();
    return p;
}

std::unique_ptr<AacPage> CtAacPlusPage(const PageContext& c, std::shared_ptr<CAacPage> m) {
    auto p = std::make_unique<AacPage>("Encoder::AAC::CT AAC+", c, m);
    PageForm& f = p->form;
    CSettings::Aac& v = m->v;
    f.spin("CBR:", 8000, 320000, Get(v.CTCbr), Set(v.CTCbr), " bps");
    f.check("Parametric Stereo", v.CTPs);
    f.check("Independent Stereo", v.CTIs);
    f.check("Mono", v.CTMono);
    f.check("Speech Mode", v.CTSpeech);
    f.check("Perceptual Noise Substitution", v.CTPns);
    f.combo("Profile:", [] { return CAacPage::ctProfileItems(); }, Get(v.CTForPro), Set(v.CTForPro));
    f.stretch();
    return p;
}

std::unique_ptr<OptionsPage> MpcPage(const PageContext& c) {
    auto p = std::make_unique<ModelPage<CMpcPage>>("Encoder::MPC", c, std::make_shared<CMpcPage>());
    auto m = p->model;
    PageForm& f = p->form;
    f.combo("File Extension:", CMpcPage::extItems(), m->extSel);
    f.combo("Preset:", [] { return CMpcPage::presetItems(); }, [m] { return m->presetSel; },
            [m](int i) { m->SelectPreset(i); });
    f.slider(0, 100, [m] { return m->quality; }, [m](int q) { m->SetQuality(q); }, [m] { return m->qualityText(); });
    f.stretch();
    return p;
}

std::unique_ptr<OptionsPage> CustomPage(const PageContext& c, std::shared_ptr<CCustomPage> m) {
    auto p = std::make_unique<ModelPage<CCustomPage>>("Encoder::Customized", c, m);
    PageForm& f = p->form;
    QWidget* page = p.get();
    f.edit("User-Customized Encoder Location:", [m] { return m->encoder; },
           [m](const std::string& t) { m->encoder = t; }, 4096);
    f.button("Browse...", [m, page] {
        const QString file = QFileDialog::getOpenFileName(page, "User-Customized Encoder Location",
                                                          QString::fromStdString(m->encoder), "External Encoder (*)");
        if (!file.isEmpty()) m->encoder = file.toStdString();
    });
    f.edit("Parameters:", [m] { return m->parameter; }, [m](const std::string& t) { m->SetParameter(t); },
           static_cast<int>(CCustomPage::kMaxParameter));
    f.edit("File Extension:", [m] { return m->extension; }, [m](const std::string& t) { m->SetExtension(t); },
           static_cast<int>(CCustomPage::kMaxExtension));
    f.combo("Input Type:", CCustomPage::inputItems(), m->input);
    f.check("Write Encoding Details to Extrnal.log", m->detail);
    const QString filter = "Customized Encoder Setting (*.ces)";
    f.button("Load", [m, c, page, filter] {
        const QString file = QFileDialog::getOpenFileName(page, "Load", QString(), filter);
        if (file.isEmpty()) return;
        const std::string failure = m->LoadSettingFile(file.toStdString());
        if (!failure.empty()) c.prompter->Message(failure, MessageIcon::Error);
    });
    f.button("Save", [m, c, page, filter] {
        QFileDialog dialog(page, "Save", QString(), filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("ces");
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        const std::string failure = m->SaveSettingFile(dialog.selectedFiles().front().toStdString());
        if (!failure.empty()) c.prompter->Message(failure, MessageIcon::Error);
    });
    f.stretch();
    return p;
}

}  // namespace

void AppendExternalPages(PageList& pages, const PageContext& context, const EncoderPagesState& state,
                         EncoderPagesState::Group group) {
    if (group == EncoderPagesState::Group::Custom) {
        pages.push_back(CustomPage(context, state.custom));
        return;
    }
    auto aac = std::make_shared<CAacPage>();
    pages.push_back(AacMainPage(context, aac));
    pages.push_back(FaacPage(context, aac));
    pages.push_back(NeroPage(context, aac));
    pages.push_back(CtAacPlusPage(context, aac));
    pages.push_back(MpcPage(context));
}

}  // namespace quarrow::ui
