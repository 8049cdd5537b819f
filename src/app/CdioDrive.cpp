#include "app/CdioDrive.h"
#include "app/CueDrive.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/mmc.h>
#include <cdio/mmc_hl_cmds.h>
#include <cdio/mmc_ll_cmds.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace quarrow {

namespace {

// libcdio reports problems through a process-wide log handler that prints to standard
// error by default. The drive turns those reports into its own error texts instead.
thread_local std::string tLastCdioMessage;

void CdioLogHandler(cdio_log_level_t level, const char message[]) {
    if (level >= CDIO_LOG_WARN && message) tLastCdioMessage = message;
}

void InstallLogHandler() {
    static std::once_flag once;
    std::call_once(once, [] { cdio_log_set_handler(CdioLogHandler); });
}

std::string Trim(const char* s) {
    std::string t(s ? s : "");
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
    size_t b = 0;
    while (b < t.size() && std::isspace(static_cast<unsigned char>(t[b]))) ++b;
    return t.substr(b);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int MediaTypeOfProfile(cdio_mmc_feature_profile_t p) {
    switch (p) {
    case CDIO_MMC_FEATURE_PROF_CD_R: return 1;
    case CDIO_MMC_FEATURE_PROF_CD_RW: return 2;
    case CDIO_MMC_FEATURE_PROF_DVD_ROM: return 3;
    case CDIO_MMC_FEATURE_PROF_DVD_PR:
    case CDIO_MMC_FEATURE_PROF_DVD_PR_DL: return 4;
    case CDIO_MMC_FEATURE_PROF_DVD_PRW:
    case CDIO_MMC_FEATURE_PROF_DVD_PRW_DL: return 5;
    case CDIO_MMC_FEATURE_PROF_DVD_R_SEQ:
    case CDIO_MMC_FEATURE_PROF_DVD_R_DL_SEQ:
    case CDIO_MMC_FEATURE_PROF_DVD_R_DL_JR: return 6;
    case CDIO_MMC_FEATURE_PROF_DVD_RW_RO:
    case CDIO_MMC_FEATURE_PROF_DVD_RW_SEQ: return 7;
    default: return 0;
    }
}

int TrackTypeOf(CdIo_t* cdio, track_t t) {
    switch (cdio_get_track_format(cdio, t)) {
    case TRACK_FORMAT_AUDIO: return kTrackAudio;
    case TRACK_FORMAT_DATA: return cdio_get_track_green(cdio, t) ? kTrackMode2 : kTrackMode1;
    case TRACK_FORMAT_XA: return kTrackMode2Form1;
    case TRACK_FORMAT_CDI:
    case TRACK_FORMAT_PSX: return kTrackMode2;
    default: return -1;
    }
}

// The paranoia callback has no user argument: the reading thread names its drive here.
struct ParanoiaContext {
    CdioDrive* drive = nullptr;
    void (*raise)(CdioDrive*, int16_t, int32_t) = nullptr;
    cdrom_paranoia_t* paranoia = nullptr;
    int attempts = 0;
    int limit = 0;               // rereads before a never-skip read may give up
    bool neverSkip = false;
    bool relaxed = false;
    bool skipped = false;
};
thread_local ParanoiaContext* tParanoia = nullptr;

void ParanoiaCallback(long inpos, paranoia_cb_mode_t mode) {
    ParanoiaContext* ctx = tParanoia;
    if (!ctx || (mode != PARANOIA_CB_READERR && mode != PARANOIA_CB_SKIP)) return;
    if (mode == PARANOIA_CB_SKIP) ctx->skipped = true;
    ctx->attempts = std::min(ctx->attempts + 1, 32767);
    ctx->raise(ctx->drive, static_cast<int16_t>(ctx->attempts),
               static_cast<int32_t>(inpos / (CDIO_CD_FRAMESIZE_RAW / 2)));
    // Left alone, a never-skip read retries an unreadable sector forever. Once the
    // rereads are used up it may skip like the secure mode does.
    if (ctx->neverSkip && !ctx->relaxed && ctx->attempts >= ctx->limit) {
        cdio_paranoia_modeset(ctx->paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
        ctx->relaxed = true;
    }
}

}  // namespace

std::unique_ptr<CdioDrive> CdioDrive::Open(const std::string& path, std::string* error) {
    InstallLogHandler();
    auto fail = [&](const std::string& why) -> std::unique_ptr<CdioDrive> {
        if (error) *error = "Cannot open \"" + path + "\": " + why;
        return nullptr;
    };
    if (path.empty()) return fail("no device or image file given");
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return fail(std::strerror(errno));
    std::unique_ptr<CdioDrive> d(new CdioDrive());
    d->path_ = path;
    if (S_ISREG(st.st_mode)) {
        if (::access(path.c_str(), R_OK) != 0) return fail(std::strerror(errno));
        d->image_ = true;
        const std::string name = Lower(path);
        auto ends = [&](const char* ext) {
            const size_t n = std::strlen(ext);
            return name.size() >= n && name.compare(name.size() - n, n, ext) == 0;
        };
        if (ends(".toc")) d->driver_ = DRIVER_CDRDAO;
        else if (ends(".nrg")) d->driver_ = DRIVER_NRG;
        else d->driver_ = DRIVER_UNKNOWN;
    } else if (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode)) {
        d->driver_ = DRIVER_DEVICE;
    } else {
        return fail("neither a CD device nor a disc image file");
    }
    std::string why;
    if (!d->OpenHandle(&why)) return fail(why);
    if (d->image_) {
        d->vendor_ = "Image";
        d->model_ = BaseName(path);
        const char* drv = cdio_get_driver_name(d->cdio_);
        d->revision_ = drv ? drv : "image";
    } else {
        cdio_hwinfo_t hw{};
        if (cdio_get_hwinfo(d->cdio_, &hw)) {
            d->vendor_ = Trim(hw.psz_vendor);
            d->model_ = Trim(hw.psz_model);
            d->revision_ = Trim(hw.psz_revision);
        }
        if (d->vendor_.empty() && d->model_.empty()) {
            d->vendor_ = "CD Drive";
            d->model_ = path;
        }
    }
    return d;
}

bool CdioDrive::OpenHandle(std::string* error) {
    tLastCdioMessage.clear();
    cdio_ = cdio_open(path_.c_str(), static_cast<driver_id_t>(driver_));
    if (!cdio_) {
        if (error) {
            std::string why = image_ ? "not a readable disc image" : "not a CD device libcdio can open";
            if (!tLastCdioMessage.empty()) why += " (" + Trim(tLastCdioMessage.c_str()) + ")";
            *error = why;
        }
        return false;
    }
    return true;
}

CdioDrive::~CdioDrive() {
    CloseParanoia();
    if (cdio_) cdio_destroy(cdio_);
}

void CdioDrive::CloseParanoia() {
    if (paranoia_) cdio_paranoia_free(paranoia_);
    paranoia_ = nullptr;
    if (cdda_) cdio_cddap_close_no_free_cdio(cdda_);
    cdda_ = nullptr;
    paranoiaMode_ = -1;
    paranoiaNext_ = -1;
}

std::string CdioDrive::IdentA() const { return vendor_; }
std::string CdioDrive::IdentB() const { return model_; }
std::string CdioDrive::IdentC() const { return revision_; }
std::string CdioDrive::DriveName() const { return path_; }

void CdioDrive::EjectTray() {
    std::lock_guard lock(mutex_);
    if (image_) return;
    CloseParanoia();
    if (cdio_) cdio_destroy(cdio_);
    cdio_ = nullptr;
    cdio_eject_media_drive(path_.c_str());
}

void CdioDrive::CloseTray() {
    std::lock_guard lock(mutex_);
    if (image_) return;
    driver_id_t drv = DRIVER_DEVICE;
    cdio_close_tray(path_.c_str(), &drv);
}

void CdioDrive::LockTray() {
    std::lock_guard lock(mutex_);
    if (!image_ && cdio_) mmc_prevent_allow_medium_removal(cdio_, false, true, 0);
}

void CdioDrive::UnlockTray() {
    std::lock_guard lock(mutex_);
    if (!image_ && cdio_) mmc_prevent_allow_medium_removal(cdio_, false, false, 0);
}

void CdioDrive::PollMediumChange() {
    bool changed = false;
    {
        std::lock_guard lock(mutex_);
        if (image_) return;
        if (!cdio_) OpenHandle(nullptr);
        changed = cdio_ && cdio_get_media_changed(cdio_) == 1;
    }
    if (changed) RaiseMediumChanged();
}

CdDiscLayout CdioDrive::ReadLayout() {
    std::lock_guard lock(mutex_);
    CdDiscLayout layout;
    CloseParanoia();
    // A device caches its table of contents per handle: a fresh handle reads the
    // disc that is in the drive now.
    if (!image_ && cdio_) {
        cdio_destroy(cdio_);
        cdio_ = nullptr;
    }
    if (!cdio_ && !OpenHandle(nullptr)) return layout;

    const track_t first = cdio_get_first_track_num(cdio_);
    const track_t count = cdio_get_num_tracks(cdio_);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK) return layout;  // no disc
    layout.discState = kUnrecognizedDisc;
    if (count == 0 || count > 99) return layout;
    const lsn_t leadOut = cdio_get_track_lsn(cdio_, CDIO_CDROM_LEADOUT_TRACK);
    if (leadOut == CDIO_INVALID_LSN) return layout;

    lsn_t lastSession = 0;
    const bool multi = !image_ && cdio_get_last_session(cdio_, &lastSession) == DRIVER_OP_SUCCESS &&
                       lastSession > 0;
    std::vector<CdTrackInfo> tracks;
    for (int i = 0; i < count; ++i) {
        const track_t t = static_cast<track_t>(first + i);
        const lsn_t start = cdio_get_track_lsn(cdio_, t);
        const lsn_t next = i + 1 < count ? cdio_get_track_lsn(cdio_, static_cast<track_t>(t + 1)) : leadOut;
        if (start == CDIO_INVALID_LSN || next == CDIO_INVALID_LSN || next <= start || start < 0)
            return layout;  // a table of contents that makes no sense
        CdTrackInfo info;
        info.number = t;
        info.session = multi && start >= lastSession ? 1 : 0;
        info.type = TrackTypeOf(cdio_, t);
        info.start = start;
        info.sectors = next - start;
        // The last track of the first session ends before the gap to the next one.
        if (multi && info.session == 0 && next >= lastSession && info.sectors > 11400)
            info.sectors -= 11400;
        info.sectorBytes = SectorBytesOfType(info.type);
        tracks.push_back(std::move(info));
    }
    const bool twoSessions = multi && tracks.front().session == 0 && tracks.back().session == 1;
    layout.sessions.resize(twoSessions ? 2 : 1);
    for (CdTrackInfo& t : tracks) {
        if (!twoSessions) t.session = 0;
        layout.sessions[t.session].push_back(t);
    }
    layout.leadOut = leadOut;
    layout.discState = kRecognizedDisc;
    if (!image_) {
        cdio_mmc_feature_profile_t profile{};
        if (mmc_get_disctype(cdio_, 0, &profile) == DRIVER_OP_SUCCESS)
            layout.mediaType = MediaTypeOfProfile(profile);
    }
    return layout;
}

std::string CdioDrive::ReadIsrc(const CdTrackInfo& track) {
    std::lock_guard lock(mutex_);
    if (!cdio_) return {};
    char* raw = cdio_get_track_isrc(cdio_, static_cast<track_t>(track.number));
    if (!raw) return {};
    std::string isrc(raw);
    cdio_free(raw);
    // An ISRC is twelve letters and digits; anything else is no ISRC.
    if (isrc.size() != 12) return {};
    for (char c : isrc)
        if (!std::isalnum(static_cast<unsigned char>(c))) return {};
    return isrc;
}

bool CdioDrive::ReadRawSectors(int32_t lba, int count, uint8_t* out) {
    std::lock_guard lock(mutex_);
    if (!cdio_ || count <= 0 || lba < 0) return false;
    return cdio_read_audio_sectors(cdio_, out, lba, static_cast<uint32_t>(count)) == DRIVER_OP_SUCCESS;
}

void CdioDrive::OnBeginRead(const CdTrackInfo& track) {
    trackType_ = track.type;
    paranoiaNext_ = -1;
}

void CdioDrive::OnEndRead() { paranoiaNext_ = -1; }

bool CdioDrive::EnsureParanoia() {
    if (paranoia_) return true;
    if (!cdio_) return false;
    cdda_ = cdio_cddap_identify_cdio(cdio_, CDDA_MESSAGE_FORGETIT, nullptr);
    if (!cdda_) return false;
    // Drives reached through libcdio deliver little-endian audio; saying so up front
    // keeps paranoia from guessing the byte order from the music.
    cdda_->bigendianp = 0;
    if (cdio_cddap_open(cdda_) != 0) {
        cdio_cddap_close_no_free_cdio(cdda_);
        cdda_ = nullptr;
        return false;
    }
    paranoia_ = cdio_paranoia_init(cdda_);
    if (!paranoia_) {
        cdio_cddap_close_no_free_cdio(cdda_);
        cdda_ = nullptr;
        return false;
    }
    return true;
}

bool CdioDrive::ReadCorrected(int32_t lba, int count, std::vector<int16_t>& samples, int& sectorsDone,
                              int32_t& status) {
    std::lock_guard lock(mutex_);
    const int mode = ReadMode();
    if (mode < kReadSynch || trackType_ != kTrackAudio) return false;
    if (!EnsureParanoia()) return false;

    int flags = PARANOIA_MODE_FULL;
    if (mode == kReadSynch) flags = PARANOIA_MODE_OVERLAP | PARANOIA_MODE_VERIFY;
    else if (mode == kReadSecure) flags = PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP;
    if (flags != paranoiaMode_) {
        cdio_paranoia_modeset(paranoia_, flags);
        paranoiaMode_ = flags;
        paranoiaNext_ = -1;
    }
    if (paranoiaNext_ != lba) {
        cdio_paranoia_seek(paranoia_, lba, SEEK_SET);
        paranoiaNext_ = lba;
    }

    const int retries = ReadRetries();
    const int action = ErrorAction();
    samples.clear();
    sectorsDone = 0;
    status = kReadOk;
    ParanoiaContext ctx;
    ctx.drive = this;
    ctx.raise = [](CdioDrive* d, int16_t attempt, int32_t sector) { d->RaiseReadRetry(attempt, sector); };
    ctx.paranoia = paranoia_;
    ctx.neverSkip = (flags & PARANOIA_MODE_NEVERSKIP) != 0;
    ctx.limit = std::max(retries, 1);
    ParanoiaContext* saved = tParanoia;
    tParanoia = &ctx;
    for (int i = 0; i < count; ++i) {
        ctx.attempts = 0;
        ctx.skipped = false;
        const int16_t* buf = cdio_paranoia_read_limited(paranoia_, ParanoiaCallback, retries);
        if (ctx.relaxed) {
            cdio_paranoia_modeset(paranoia_, flags);
            ctx.relaxed = false;
        }
        const bool ok = buf && !ctx.skipped;
        if (ok) {
            samples.insert(samples.end(), buf, buf + kSamplesPerSector);
        } else if (action == kErrorSilence) {
            samples.resize(samples.size() + kSamplesPerSector, 0);
        } else if (action == kErrorCut) {
            // dropped
        } else {
            status = kReadFailed;
            paranoiaNext_ = -1;  // paranoia went past the sector; seek back on the next read
            tParanoia = saved;
            return true;
        }
        ++sectorsDone;
        ++paranoiaNext_;
    }
    tParanoia = saved;
    return true;
}

// ---------------------------------------------------------------------------------

std::unique_ptr<CdDrive> OpenCdioDrive(const std::string& deviceOrImage, std::string* error) {
    // Cue sheets are read here rather than by libcdio, which looks for the audio beside
    // the sheet under the sheet's own name instead of the files the sheet names. A BIN
    // file given alone stands for the cue sheet of its name beside it.
    const std::string name = Lower(deviceOrImage);
    const bool bin = name.size() > 4 && name.compare(name.size() - 4, 4, ".bin") == 0;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".cue") == 0) {
        return CueDrive::Open(deviceOrImage, deviceOrImage, error);
    }
    if (bin) {
        return CueDrive::Open(deviceOrImage, deviceOrImage.substr(0, deviceOrImage.size() - 4) + ".cue", error);
    }
    return CdioDrive::Open(deviceOrImage, error);
}

std::vector<std::string> ListSystemCdDrives() {
    InstallLogHandler();
    std::vector<std::string> out;
    char** devices = cdio_get_devices(DRIVER_DEVICE);
    if (!devices) return out;
    for (char** d = devices; *d; ++d) out.emplace_back(*d);
    cdio_free_device_list(devices);
    return out;
}

}  // namespace quarrow
