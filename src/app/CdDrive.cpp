// The drive-independent half of a CD drive: the session/track cursor over the layout
// the backend reports, the per-track properties, and the generic reading loop with
// rereads and the Stop/Silence/Cut error actions. Also the grabber's drive list.
#include "app/CdDrive.h"

#include <algorithm>

#include "app/ComponentError.h"

namespace quarrow {

int32_t SectorBytesOfType(int type) {
    switch (type) {
    case kTrackAudio: return kSectorBytes;
    case kTrackMode1: return 2048;
    case kTrackMode2: return 2336;
    case kTrackMode2Form1: return 2048;
    case kTrackMode2Form2: return 2324;
    default: return kSectorBytes;
    }
}

int CdDiscLayout::TrackCount() const {
    int n = 0;
    for (const auto& s : sessions) n += static_cast<int>(s.size());
    return n;
}

std::string CdDrive::EntryText() const {
    return IdentA() + "  " + IdentB() + "  " + IdentC();
}

void CdDrive::RefreshDisc() {
    std::lock_guard lock(mutex_);
    if (reading_) {
        reading_ = false;
        OnEndRead();
    }
    layout_ = ReadLayout();
    if (layout_.TrackCount() == 0 && layout_.discState == kRecognizedDisc)
        layout_.discState = kUnrecognizedDisc;
    // Keep the cursor on the disc: a session or track beyond the new layout falls back
    // to the first one.
    if (session_ < 0 || session_ >= static_cast<int>(layout_.sessions.size())) session_ = 0;
    if (layout_.sessions.empty() || track_ < 0 ||
        track_ >= static_cast<int>(layout_.sessions[session_].size()))
        track_ = 0;
    position_ = 0;
}

void CdDrive::ResetReader() {
    std::lock_guard lock(mutex_);
    if (reading_) {
        reading_ = false;
        OnEndRead();
    }
    position_ = 0;
}

int CdDrive::MediaType() const {
    std::lock_guard lock(mutex_);
    return layout_.mediaType;
}

int CdDrive::DiscState() const {
    std::lock_guard lock(mutex_);
    return layout_.discState;
}

int CdDrive::SessionCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(layout_.sessions.size());
}

void CdDrive::SetCurrentSession(int session) {
    std::lock_guard lock(mutex_);
    if (session < 0 || session >= static_cast<int>(layout_.sessions.size()))
        throw ComponentError("CD drive: session " + std::to_string(session) + " does not exist");
    if (session != session_) {
        session_ = session;
        track_ = 0;
        position_ = 0;
    }
}

int CdDrive::SessionTrackCount() const {
    std::lock_guard lock(mutex_);
    if (session_ >= static_cast<int>(layout_.sessions.size())) return 0;
    return static_cast<int>(layout_.sessions[session_].size());
}

void CdDrive::SetCurrentTrack(int track) {
    std::lock_guard lock(mutex_);
    if (session_ >= static_cast<int>(layout_.sessions.size()) || track < 0 ||
        track >= static_cast<int>(layout_.sessions[session_].size()))
        throw ComponentError("CD drive: track " + std::to_string(track) + " of session " +
                             std::to_string(session_) + " does not exist");
    if (track != track_) {
        track_ = track;
        position_ = 0;
    }
}

const CdTrackInfo* CdDrive::Current() const {
    if (session_ < 0 || session_ >= static_cast<int>(layout_.sessions.size())) return nullptr;
    const auto& s = layout_.sessions[session_];
    if (track_ < 0 || track_ >= static_cast<int>(s.size())) return nullptr;
    return &s[track_];
}

int CdDrive::TrackSession() const {
    std::lock_guard lock(mutex_);
    const CdTrackInfo* t = Current();
    return t ? t->session : 0;
}

int CdDrive::TrackNumber() const {
    std::lock_guard lock(mutex_);
    if (!Current()) return 0;
    int n = 0;
    for (int s = 0; s < session_; ++s) n += static_cast<int>(layout_.sessions[s].size());
    return n + track_;
}

int32_t CdDrive::TrackSectors() const {
    std::lock_guard lock(mutex_);
    const CdTrackInfo* t = Current();
    return t ? t->sectors : 0;
}

int CdDrive::TrackMinutes() const {
    std::lock_guard lock(mutex_);
    return TrackSectors() / kSectorsPerSecond / 60;
}

int CdDrive::TrackSeconds() const {
    std::lock_guard lock(mutex_);
    return TrackSectors() / kSectorsPerSecond % 60;
}

int CdDrive::TrackType() const {
    std::lock_guard lock(mutex_);
    const CdTrackInfo* t = Current();
    return t ? t->type : -1;  // no track: shown as unrecognised
}

int32_t CdDrive::SectorBytes() const {
    std::lock_guard lock(mutex_);
    const CdTrackInfo* t = Current();
    return t ? t->sectorBytes : kSectorBytes;
}

int32_t CdDrive::TrackStart() const {
    std::lock_guard lock(mutex_);
    const CdTrackInfo* t = Current();
    return t ? t->start : 0;
}

std::string CdDrive::Isrc() {
    std::lock_guard lock(mutex_);
    const CdTrackInfo* t = Current();
    if (!t) return {};
    return ReadIsrc(*t);
}

CdDiscLayout CdDrive::Layout() const {
    std::lock_guard lock(mutex_);
    return layout_;
}

void CdDrive::SetReadMode(int mode) {
    std::lock_guard lock(mutex_);
    readMode_ = std::clamp(mode, static_cast<int>(kReadPlay), static_cast<int>(kReadParanoid));
}

void CdDrive::SetErrorAction(int action) {
    std::lock_guard lock(mutex_);
    errorAction_ = std::clamp(action, static_cast<int>(kErrorStop), static_cast<int>(kErrorCut));
}

void CdDrive::SetReadRetries(int retries) {
    std::lock_guard lock(mutex_);
    readRetries_ = std::max(0, retries);
}

int CdDrive::ReadMode() const {
    std::lock_guard lock(mutex_);
    return readMode_;
}

int CdDrive::ErrorAction() const {
    std::lock_guard lock(mutex_);
    return errorAction_;
}

int CdDrive::ReadRetries() const {
    std::lock_guard lock(mutex_);
    return readRetries_;
}

void CdDrive::BeginRead() {
    std::lock_guard lock(mutex_);
    const CdTrackInfo* t = Current();
    if (!t) throw ComponentError("CD drive: no track to read");
    if (reading_) OnEndRead();
    position_ = 0;
    reading_ = true;
    OnBeginRead(*t);
}

void CdDrive::EndRead() {
    std::lock_guard lock(mutex_);
    if (reading_) {
        reading_ = false;
        OnEndRead();
    }
}

void CdDrive::Seek(int32_t offsetInTrack) {
    std::lock_guard lock(mutex_);
    const CdTrackInfo* t = Current();
    if (!t) throw ComponentError("CD drive: no track to seek in");
    if (offsetInTrack < 0 || offsetInTrack > t->sectors)
        throw ComponentError("CD drive: sector offset " + std::to_string(offsetInTrack) +
                             " lies outside the track of " + std::to_string(t->sectors) +
                             " sectors");
    position_ = offsetInTrack;
}

int32_t CdDrive::ReadPosition() const {
    std::lock_guard lock(mutex_);
    return position_;
}

namespace {

void AppendSectorSamples(const uint8_t* bytes, int sectors, std::vector<int16_t>& samples) {
    const size_t n = static_cast<size_t>(sectors) * kSamplesPerSector;
    const size_t base = samples.size();
    samples.resize(base + n);
    for (size_t i = 0; i < n; ++i) {
        // Audio sectors carry 16-bit little-endian samples, left then right.
        const uint16_t v = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        samples[base + i] = static_cast<int16_t>(v);
    }
}

}  // namespace

int CdDrive::ReadSectors(int count, std::vector<int16_t>& samples, int32_t& status) {
    std::lock_guard lock(mutex_);
    samples.clear();
    status = kReadOk;
    if (layout_.discState == kNoDisc) {
        status = kReadNoDisc;
        return 0;
    }
    const CdTrackInfo* t = Current();
    if (!t) {
        status = kReadFailed;
        return 0;
    }
    const int32_t left = t->sectors - position_;
    const int n = static_cast<int>(std::min<int64_t>(std::max(count, 0), std::max<int32_t>(left, 0)));
    if (n == 0) return 0;
    const int32_t lba = t->start + position_;

    int done = 0;
    int32_t st = kReadOk;
    if (ReadCorrected(lba, n, samples, done, st)) {
        position_ += std::clamp(done, 0, n);
        status = st;
        return static_cast<int>(samples.size() / kSamplesPerSector);
    }
    samples.clear();
    return ReadGeneric(lba, n, samples, status);
}

int CdDrive::ReadGeneric(int32_t lba, int count, std::vector<int16_t>& samples, int32_t& status) {
    status = kReadOk;
    std::vector<uint8_t> buf(static_cast<size_t>(count) * kSectorBytes);
    // The whole block first; only when that fails sector by sector with rereads.
    if (ReadRawSectors(lba, count, buf.data())) {
        AppendSectorSamples(buf.data(), count, samples);
        position_ += count;
        return count;
    }
    const int retries = readRetries_;
    for (int i = 0; i < count; ++i) {
        const int32_t sector = lba + i;
        // A one-sector block has had its first read already.
        bool ok = count > 1 && ReadRawSectors(sector, 1, buf.data());
        for (int attempt = 1; !ok && attempt <= retries; ++attempt) {
            RaiseReadRetry(static_cast<int16_t>(std::min(attempt, 32767)), sector);
            ok = ReadRawSectors(sector, 1, buf.data());
        }
        if (ok) {
            AppendSectorSamples(buf.data(), 1, samples);
        } else if (errorAction_ == kErrorSilence) {
            samples.resize(samples.size() + kSamplesPerSector, 0);
        } else if (errorAction_ == kErrorCut) {
            // The sector is dropped; reading goes on after it.
        } else {
            status = kReadFailed;
            return static_cast<int>(samples.size() / kSamplesPerSector);
        }
        ++position_;
    }
    return static_cast<int>(samples.size() / kSamplesPerSector);
}

void CdDrive::SetListener(CdDriveListener* listener) {
    std::lock_guard lock(mutex_);
    listener_ = listener;
}

void CdDrive::RaiseMediumChanged() {
    CdDriveListener* l;
    {
        std::lock_guard lock(mutex_);
        l = listener_;
    }
    if (l) l->OnMediumChanged();
}

void CdDrive::RaiseReadRetry(int16_t attempt, int32_t sector) {
    std::lock_guard lock(mutex_);
    if (listener_) listener_->OnReadRetry(attempt, sector);
}

// ---------------------------------------------------------------------------------

void CdGrabber::Add(std::unique_ptr<CdDrive> drive) {
    if (!drive) return;
    drives_.push_back(std::move(drive));
    if (current_ == 0) current_ = 1;
}

int CdGrabber::DriveCount() const { return static_cast<int>(drives_.size()); }

int CdGrabber::CurrentDrive() const { return current_; }

void CdGrabber::SetCurrentDrive(int number) {
    if (number < 1 || number > DriveCount())
        throw ComponentError("CD grabber: drive " + std::to_string(number) + " does not exist (" +
                             std::to_string(DriveCount()) + " drives)");
    current_ = number;
}

CdDrive& CdGrabber::Drive() {
    if (current_ < 1 || current_ > DriveCount()) throw ComponentError("CD grabber: no CD drive");
    return *drives_[current_ - 1];
}

CdDrive& CdGrabber::DriveAt(int number) {
    if (number < 1 || number > DriveCount())
        throw ComponentError("CD grabber: drive " + std::to_string(number) + " does not exist (" +
                             std::to_string(DriveCount()) + " drives)");
    return *drives_[number - 1];
}

}  // namespace quarrow
