#include "app/SimulatedDrive.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace quarrow {

namespace {

// Track starts: consecutive within a session, the next session after the gap.
std::vector<int32_t> TrackStarts(const SimDisc& disc) {
    std::vector<int32_t> starts;
    int32_t pos = disc.firstSector;
    int session = disc.tracks.empty() ? 0 : disc.tracks.front().session;
    for (const SimTrack& t : disc.tracks) {
        if (t.session != session) {
            pos += disc.sessionGap;
            session = t.session;
        }
        starts.push_back(pos);
        pos += std::max<int32_t>(t.sectors, 0);
    }
    return starts;
}

bool ParseInt(const std::string& word, long long lo, long long hi, long long& value) {
    if (word.empty()) return false;
    size_t i = word[0] == '-' ? 1 : 0;
    if (i == word.size() || word.size() > 12) return false;
    for (size_t k = i; k < word.size(); ++k)
        if (word[k] < '0' || word[k] > '9') return false;
    value = std::stoll(word);
    return value >= lo && value <= hi;
}

}  // namespace

void SimulatedSector(int32_t lba, uint8_t* out) {
    for (int k = 0; k < kSamplesPerSector / 2; ++k) {
        const uint32_t p = static_cast<uint32_t>(static_cast<int64_t>(lba) * 588 + k);
        const uint16_t left = static_cast<uint16_t>(p & 0xFFFF);
        const uint16_t right = static_cast<uint16_t>((p >> 16) ^ 0x5A5A);
        out[4 * k + 0] = static_cast<uint8_t>(left & 0xFF);
        out[4 * k + 1] = static_cast<uint8_t>(left >> 8);
        out[4 * k + 2] = static_cast<uint8_t>(right & 0xFF);
        out[4 * k + 3] = static_cast<uint8_t>(right >> 8);
    }
}

int64_t SimulatedFramePosition(int16_t left, int16_t right) {
    const uint32_t lo = static_cast<uint16_t>(left);
    const uint32_t hi = static_cast<uint16_t>(static_cast<uint16_t>(right) ^ 0x5A5A);
    return static_cast<int64_t>(lo | (hi << 16));
}

bool ParseSimDisc(const std::string& text, SimDisc& disc, SimIdentity& ident, bool& discPresent,
                  std::string* error) {
    SimDisc d;
    SimIdentity id;
    bool present = true;
    int session = 0;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    auto fail = [&](const std::string& what) {
        if (error) *error = "disc description line " + std::to_string(lineNo) + ": " + what;
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string key;
        if (!(words >> key)) continue;
        std::string rest;
        std::getline(words, rest);
        const size_t b = rest.find_first_not_of(" \t\r");
        rest = b == std::string::npos ? std::string() : rest.substr(b);
        while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\r'))
            rest.pop_back();
        std::istringstream args(rest);
        std::vector<std::string> a;
        for (std::string w; args >> w;) a.push_back(w);
        long long v = 0;
        if (key == "vendor") id.vendor = rest;
        else if (key == "model") id.model = rest;
        else if (key == "revision") id.revision = rest;
        else if (key == "name") id.name = rest;
        else if (key == "nodisc") present = false;
        else if (key == "session") {
            if (++session > 9) return fail("more than 10 sessions");
        } else if (key == "media") {
            if (a.size() != 1 || !ParseInt(a[0], 0, 7, v)) return fail("media needs a code 0 to 7");
            d.mediaType = static_cast<int>(v);
        } else if (key == "start") {
            if (a.size() != 1 || !ParseInt(a[0], 0, 449999, v)) return fail("start needs a sector number");
            d.firstSector = static_cast<int32_t>(v);
        } else if (key == "gap") {
            if (a.size() != 1 || !ParseInt(a[0], 0, 449999, v)) return fail("gap needs a sector count");
            d.sessionGap = static_cast<int32_t>(v);
        } else if (key == "track") {
            if (a.size() < 2 || a.size() > 3) return fail("track needs a type, a sector count and an optional ISRC");
            SimTrack t;
            t.session = session;
            const std::string& type = a[0];
            if (type == "audio") t.type = kTrackAudio;
            else if (type == "mode1") t.type = kTrackMode1;
            else if (type == "mode2") t.type = kTrackMode2;
            else if (type == "form1") t.type = kTrackMode2Form1;
            else if (type == "form2") t.type = kTrackMode2Form2;
            else if (ParseInt(type, -1000, 1000, v)) t.type = static_cast<int>(v);
            else return fail("unknown track type \"" + type + "\"");
            if (!ParseInt(a[1], 1, 449999, v)) return fail("bad sector count \"" + a[1] + "\"");
            t.sectors = static_cast<int32_t>(v);
            if (a.size() == 3) t.isrc = a[2];
            if (d.tracks.size() >= 99) return fail("more than 99 tracks");
            d.tracks.push_back(std::move(t));
        } else {
            return fail("unknown statement \"" + key + "\"");
        }
    }
    disc = std::move(d);
    ident = std::move(id);
    discPresent = present;
    return true;
}

SimulatedDrive::SimulatedDrive(SimDisc disc, SimIdentity ident, bool discPresent)
    : disc_(std::move(disc)), ident_(std::move(ident)), present_(discPresent) {}

std::string SimulatedDrive::IdentA() const { return ident_.vendor; }
std::string SimulatedDrive::IdentB() const { return ident_.model; }
std::string SimulatedDrive::IdentC() const { return ident_.revision; }
std::string SimulatedDrive::DriveName() const { return ident_.name; }

void SimulatedDrive::EjectTray() {
    {
        std::lock_guard lock(mutex_);
        if (locked_ || trayOpen_) return;
        trayOpen_ = true;
        if (!present_) return;
        trayDisc_ = disc_;
        trayHasDisc_ = true;
        present_ = false;
    }
    RaiseMediumChanged();
}

void SimulatedDrive::CloseTray() {
    {
        std::lock_guard lock(mutex_);
        if (!trayOpen_) return;
        trayOpen_ = false;
        if (!trayHasDisc_) return;
        disc_ = std::move(trayDisc_);
        trayHasDisc_ = false;
        present_ = true;
    }
    RaiseMediumChanged();
}

void SimulatedDrive::LockTray() {
    std::lock_guard lock(mutex_);
    locked_ = true;
}

void SimulatedDrive::UnlockTray() {
    std::lock_guard lock(mutex_);
    locked_ = false;
}

void SimulatedDrive::InsertDisc(SimDisc disc) {
    {
        std::lock_guard lock(mutex_);
        disc_ = std::move(disc);
        present_ = true;
        trayOpen_ = false;
        trayHasDisc_ = false;
    }
    RaiseMediumChanged();
}

void SimulatedDrive::EjectDisc() {
    {
        std::lock_guard lock(mutex_);
        present_ = false;
        trayHasDisc_ = false;
    }
    RaiseMediumChanged();
}

void SimulatedDrive::SetUnreadable(int32_t lba, int failures) {
    std::lock_guard lock(mutex_);
    unreadable_[lba] = failures < 0 ? -1 : failures;
}

void SimulatedDrive::ClearUnreadable() {
    std::lock_guard lock(mutex_);
    unreadable_.clear();
}

bool SimulatedDrive::TrayOpen() const {
    std::lock_guard lock(mutex_);
    return trayOpen_;
}

bool SimulatedDrive::TrayLocked() const {
    std::lock_guard lock(mutex_);
    return locked_;
}

int SimulatedDrive::RawReads() const {
    std::lock_guard lock(mutex_);
    return rawReads_;
}

int SimulatedDrive::FailedReads() const {
    std::lock_guard lock(mutex_);
    return failedReads_;
}

CdDiscLayout SimulatedDrive::ReadLayout() {
    std::lock_guard lock(mutex_);
    CdDiscLayout layout;
    if (!present_) return layout;
    layout.discState = disc_.tracks.empty() ? kUnrecognizedDisc : kRecognizedDisc;
    layout.mediaType = disc_.mediaType;
    const std::vector<int32_t> starts = TrackStarts(disc_);
    int lastSession = -1;
    for (size_t i = 0; i < disc_.tracks.size(); ++i) {
        const SimTrack& t = disc_.tracks[i];
        if (t.session != lastSession) {
            layout.sessions.emplace_back();
            lastSession = t.session;
        }
        CdTrackInfo info;
        info.number = static_cast<int>(i) + 1;
        info.session = static_cast<int>(layout.sessions.size()) - 1;
        info.type = t.type;
        info.start = starts[i];
        info.sectors = t.sectors;
        info.sectorBytes = SectorBytesOfType(t.type);
        info.isrc = t.isrc;
        layout.sessions.back().push_back(std::move(info));
        layout.leadOut = starts[i] + t.sectors;
    }
    return layout;
}

bool SimulatedDrive::FillSector(int32_t lba, uint8_t* out) const {
    const std::vector<int32_t> starts = TrackStarts(disc_);
    for (size_t i = 0; i < disc_.tracks.size(); ++i) {
        const SimTrack& t = disc_.tracks[i];
        if (lba < starts[i] || lba >= starts[i] + t.sectors) continue;
        if (!t.bytes.empty()) {
            const size_t off = static_cast<size_t>(lba - starts[i]) * kSectorBytes;
            std::memset(out, 0, kSectorBytes);
            if (off < t.bytes.size())
                std::memcpy(out, t.bytes.data() + off, std::min<size_t>(kSectorBytes, t.bytes.size() - off));
        } else if (disc_.generator) {
            disc_.generator(lba, out);
        } else {
            SimulatedSector(lba, out);
        }
        return true;
    }
    return false;  // in a session gap or beyond the lead-out
}

bool SimulatedDrive::ReadRawSectors(int32_t lba, int count, uint8_t* out) {
    std::lock_guard lock(mutex_);
    ++rawReads_;
    bool ok = present_ && count > 0;
    for (int i = 0; ok && i < count; ++i) {
        auto it = unreadable_.find(lba + i);
        if (it != unreadable_.end() && it->second != 0) {
            if (count == 1 && it->second > 0) --it->second;
            ok = false;
            break;
        }
        ok = FillSector(lba + i, out + static_cast<size_t>(i) * kSectorBytes);
    }
    if (!ok) ++failedReads_;
    return ok;
}

}  // namespace quarrow
