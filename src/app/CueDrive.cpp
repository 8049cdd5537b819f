#include "app/CueDrive.h"

namespace quarrow {

std::unique_ptr<CueDrive> CueDrive::Open(const std::string& path, const std::string& cuePath,
                                         std::string* error) {
    std::string why;
    std::unique_ptr<CueDisc> disc = CueDisc::Open(cuePath, why);
    if (!disc) {
        if (error) {
            *error = "Cannot open \"" + path + "\": ";
            if (cuePath != path) *error += "its cue sheet \"" + cuePath + "\": ";
            *error += why;
        }
        return nullptr;
    }
    std::unique_ptr<CueDrive> drive(new CueDrive());
    drive->path_ = path;
    drive->disc_ = std::move(disc);
    return drive;
}

std::string CueDrive::IdentB() const {
    const size_t slash = path_.find_last_of('/');
    return slash == std::string::npos ? path_ : path_.substr(slash + 1);
}

CdDiscLayout CueDrive::ReadLayout() {
    std::lock_guard lock(mutex_);
    CdDiscLayout layout;
    layout.discState = kRecognizedDisc;
    layout.leadOut = disc_->LeadOut();
    layout.sessions.resize(1);
    const auto& tracks = disc_->Tracks();
    for (size_t i = 0; i < tracks.size(); ++i) {
        CdTrackInfo info;
        info.number = tracks[i].number;
        info.type = tracks[i].type;
        info.start = tracks[i].start;
        info.sectors = (i + 1 < tracks.size() ? tracks[i + 1].start : layout.leadOut) - info.start;
        info.sectorBytes = SectorBytesOfType(info.type);
        info.isrc = tracks[i].isrc;
        layout.sessions[0].push_back(std::move(info));
    }
    return layout;
}

bool CueDrive::ReadRawSectors(int32_t lba, int count, uint8_t* out) {
    std::lock_guard lock(mutex_);
    return disc_->ReadSectors(lba, count, out);
}

}  // namespace quarrow
