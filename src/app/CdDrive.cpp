// The drive-independent half of a CD drive: the session/track cursor over the layout
// the backend reports, the per-track properties, and the generic reading loop with
// rereads and the Stop/Silence/Cut error actions. Also the grabber's drive list.
#include "app/CdDrive.h"

#include <algorithm>
#include <iterator>

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
    fill_ = {};
    carryLba_ = -1;
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
        ReportOffsetFill();
        OnEndRead();
    }
    position_ = 0;
    carryLba_ = -1;
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
    if (reading_) {
        ReportOffsetFill();
        OnEndRead();
    }
    position_ = 0;
    reading_ = true;
    givenUp_ = 0;
    fill_ = {};
    carryLba_ = -1;
    OnBeginRead(*t);
}

void CdDrive::EndRead() {
    std::lock_guard lock(mutex_);
    if (reading_) {
        reading_ = false;
        ReportOffsetFill();
        OnEndRead();
    }
    carryLba_ = -1;
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
    carryLba_ = -1;
}

int32_t CdDrive::ReadPosition() const {
    std::lock_guard lock(mutex_);
    return position_;
}

int32_t CdDrive::GivenUpSectors() const {
    std::lock_guard lock(mutex_);
    return givenUp_;
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
    if (readOffset_ != 0 && t->type == kTrackAudio) return ReadShifted(*t, lba, n, samples, status);
    position_ += ReadRun(lba, n, samples, nullptr, status);
    return static_cast<int>(samples.size() / kSamplesPerSector);
}

int CdDrive::ReadRun(int32_t lba, int count, std::vector<int16_t>& samples, std::vector<uint8_t>* kept,
                     int32_t& status) {
    status = kReadOk;
    // The backend's correction says which sectors it cut only when asked one at a time.
    const int step = kept && errorAction_ == kErrorCut ? 1 : count;
    std::vector<int16_t> part;
    int passed = 0;
    bool corrected = true;
    while (corrected && passed < count) {
        const int n = std::min(step, count - passed);
        int done = 0;
        int32_t st = kReadOk;
        part.clear();
        if (!ReadCorrected(lba + passed, n, part, done, st)) {
            corrected = false;
            break;
        }
        done = std::clamp(done, 0, n);
        const size_t keptSectors = part.size() / kSamplesPerSector;
        samples.insert(samples.end(), part.begin(), part.begin() + static_cast<std::ptrdiff_t>(keptSectors * kSamplesPerSector));
        if (kept)
            for (int i = 0; i < done; ++i)
                kept->push_back(step > 1 || keptSectors > 0 ? 1 : 0);
        passed += done;
        if (st != kReadOk || done < n) {
            status = st;
            return passed;
        }
    }
    if (corrected) return passed;
    return passed + ReadGeneric(lba + passed, count - passed, samples, kept, status);
}

int CdDrive::ReadGeneric(int32_t lba, int count, std::vector<int16_t>& samples, std::vector<uint8_t>* kept,
                         int32_t& status) {
    status = kReadOk;
    std::vector<uint8_t> buf(static_cast<size_t>(count) * kSectorBytes);
    // The whole block first; only when that fails sector by sector with rereads.
    if (ReadRawSectors(lba, count, buf.data())) {
        AppendSectorSamples(buf.data(), count, samples);
        if (kept) kept->insert(kept->end(), static_cast<size_t>(count), 1);
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
            ++givenUp_;
        } else if (errorAction_ == kErrorCut) {
            // The sector is dropped; reading goes on after it.
            ++givenUp_;
        } else {
            status = kReadFailed;
            return i;
        }
        if (kept) kept->push_back(ok || errorAction_ == kErrorSilence ? 1 : 0);
    }
    return count;
}

namespace {

// Floor division for sample offsets that may be negative.
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

}  // namespace

int CdDrive::ReadShifted(const CdTrackInfo& track, int32_t lba, int count, std::vector<int16_t>& samples,
                         int32_t& status) {
    constexpr int64_t kFrames = kSamplesPerSector / 2;   // stereo samples a sector
    // The audio a drive can read around this track: the run of audio tracks it belongs
    // to, from the disc's first sector when the run opens the disc, to the lead-out or
    // the data track that ends the run.
    int32_t lo = track.start;
    int32_t hi = track.start + track.sectors;
    if (track.session >= 0 && track.session < static_cast<int>(layout_.sessions.size())) {
        const auto& s = layout_.sessions[track.session];
        const auto at = std::find_if(s.begin(), s.end(), [&](const CdTrackInfo& t) { return t.start == track.start; });
        if (at != s.end()) {
            auto first = at, last = at;
            while (first != s.begin() && std::prev(first)->type == kTrackAudio) --first;
            while (std::next(last) != s.end() && std::next(last)->type == kTrackAudio) ++last;
            lo = track.session == 0 && first == s.begin() ? 0 : first->start;
            hi = last->start + last->sectors;
        }
    }

    // Corrected sector lba + i is made of raw samples from (lba + i) * 588 + offset on:
    // the tail of raw sector first + i from sample r and the head of the one after it.
    const int64_t q = FloorDiv(readOffset_, kFrames);
    const int r = static_cast<int>(readOffset_ - q * kFrames);
    const int64_t first = lba + q;
    const int rawCount = count + (r > 0 ? 1 : 0);
    enum : uint8_t { kRawKept, kRawCut, kRawFailed };
    std::vector<int16_t> raw(static_cast<size_t>(rawCount) * kSamplesPerSector, 0);
    std::vector<uint8_t> state(static_cast<size_t>(rawCount), kRawKept);
    std::vector<int16_t> got;
    std::vector<uint8_t> kept;
    int32_t st = kReadOk;
    for (int j = 0; j < rawCount && st == kReadOk;) {
        const int64_t sector = first + j;
        if (sector < lo || sector >= hi) {   // silence, counted below per corrected sector
            ++j;
            continue;
        }
        if (sector == carryLba_) {
            std::copy(carry_.begin(), carry_.end(), raw.begin() + static_cast<std::ptrdiff_t>(j) * kSamplesPerSector);
            state[j] = carryKept_ ? kRawKept : kRawCut;
            ++j;
            continue;
        }
        int k = j + 1;   // a run of sectors on the disc
        while (k < rawCount && first + k < hi) ++k;
        got.clear();
        kept.clear();
        const int passed = ReadRun(static_cast<int32_t>(sector), k - j, got, &kept, st);
        size_t at = 0;
        for (int i = 0; i < passed; ++i) {
            if (i < static_cast<int>(kept.size()) && kept[i] && at + kSamplesPerSector <= got.size()) {
                std::copy(got.begin() + static_cast<std::ptrdiff_t>(at),
                          got.begin() + static_cast<std::ptrdiff_t>(at + kSamplesPerSector),
                          raw.begin() + static_cast<std::ptrdiff_t>(j + i) * kSamplesPerSector);
                at += kSamplesPerSector;
            } else {
                state[j + i] = kRawCut;
            }
        }
        if (st != kReadOk)
            for (int i = j + passed; i < rawCount; ++i) state[i] = kRawFailed;
        j = k;
    }

    // The last raw sector starts the next read in order; it is kept rather than read twice.
    carryLba_ = -1;
    if (r > 0 && state[rawCount - 1] != kRawFailed) {
        carryLba_ = static_cast<int32_t>(first + rawCount - 1);
        carryKept_ = state[rawCount - 1] == kRawKept;
        carry_.assign(raw.end() - kSamplesPerSector, raw.end());
    }

    status = kReadOk;
    const int64_t loSample = static_cast<int64_t>(lo) * kFrames;
    const int64_t hiSample = static_cast<int64_t>(hi) * kFrames;
    for (int i = 0; i < count; ++i) {
        if (state[i] == kRawFailed || (r > 0 && state[i + 1] == kRawFailed)) {
            status = st != kReadOk ? st : kReadFailed;
            break;
        }
        ++position_;
        // A cut raw sector drops the corrected sector that starts in it; the part of the
        // next one it would have given stays silent.
        if (state[i] == kRawCut) continue;
        const auto from = raw.begin() + static_cast<std::ptrdiff_t>(i) * kSamplesPerSector + 2 * r;
        samples.insert(samples.end(), from, from + kSamplesPerSector);
        const int64_t begin = (lba + i) * kFrames + readOffset_;
        fill_.beforeFirstSector += std::clamp<int64_t>(loSample - begin, 0, kFrames);
        fill_.pastLeadOut += std::clamp<int64_t>(begin + kFrames - hiSample, 0, kFrames);
    }
    return static_cast<int>(samples.size() / kSamplesPerSector);
}

void CdDrive::SetReadOffset(int32_t samples) {
    std::lock_guard lock(mutex_);
    readOffset_ = samples;
    carryLba_ = -1;
}

int32_t CdDrive::ReadOffset() const {
    std::lock_guard lock(mutex_);
    return readOffset_;
}

CdDrive::OffsetFillCount CdDrive::OffsetFill() const {
    std::lock_guard lock(mutex_);
    return fill_;
}

void CdDrive::SetStatusSink(StatusSink sink) {
    std::lock_guard lock(mutex_);
    statusSink_ = std::move(sink);
}

void CdDrive::ReportOffsetFill() {
    if (statusSink_) {
        const std::string offset = (readOffset_ > 0 ? "+" : "") + std::to_string(readOffset_);
        const std::string where = "track " + std::to_string(Current() ? Current()->number : 0);
        if (fill_.beforeFirstSector > 0)
            statusSink_("Read offset " + offset + ": " + std::to_string(fill_.beforeFirstSector) +
                            " samples at the start of " + where +
                            " filled with silence (the drive cannot read before the disc's first audio sector)",
                        0);
        if (fill_.pastLeadOut > 0)
            statusSink_("Read offset " + offset + ": " + std::to_string(fill_.pastLeadOut) +
                            " samples at the end of " + where +
                            " filled with silence (the drive cannot read past the last audio sector)",
                        0);
    }
    fill_ = {};
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
