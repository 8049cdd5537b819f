// What the "Encoder" pages share while the options sheet runs: the record they were
// loaded from, the customised encoder as its page shows it (the format list checks it),
// and the MP3 coding mode of whichever of the CBR, VBR and Preset pages was shown last.
#pragma once

#include <memory>

#include "app/Settings.h"
#include "ui/OptionsPage.h"
#include "ui/PageBinding.h"

namespace quarrow {
class CCustomPage;
}

namespace quarrow::ui {

struct EncoderPagesState {
    enum class Group { Aac, Custom };   // the external-program pages, by their place in the tree
    std::shared_ptr<CSettings> loaded;
    std::shared_ptr<CCustomPage> custom;
    std::shared_ptr<int> mp3Tab;        // 0 until one of the three is shown
    // The loaded record with the customised encoder as its page shows it now.
    CSettings probe() const;
};

// AAC, its three sub-pages and MPC (Group::Aac), or "Encoder::Customized".
void AppendExternalPages(PageList& pages, const PageContext& context, const EncoderPagesState& state,
                         EncoderPagesState::Group group);

}  // namespace quarrow::ui
