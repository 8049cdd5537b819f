// CdDrive: one CD drive (or disc image opened as a drive) with the operations the rest
// of the system relies on: identification, tray, disc state, a session/track cursor with
// per-track properties, and audio reading with read modes, rereads and error actions.
// Backends fill a CdDiscLayout on RefreshDisc and supply raw sector reads; the cursor,
// the track properties and the generic reading loop live here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quarrow {

// Track type codes as the drive reports them.
enum CdTrackType : int {
    kTrackAudio = 0,
    kTrackMode1 = 1,
    kTrackMode2 = 2,
    kTrackMode2Form1 = 21,
    kTrackMode2Form2 = 22,
};

// DiscState codes: 0 no disc, 1 recognised disc, 2 unrecognised disc.
enum CdDiscState : int { kNoDisc = 0, kRecognizedDisc = 1, kUnrecognizedDisc = 2 };

// Read modes (setting RipModePreset) and error actions (setting RipOnErrorAction).
enum CdReadMode : int { kReadPlay = 0, kReadBurst = 1, kReadSynch = 2, kReadSecure = 3, kReadParanoid = 4 };
enum CdErrorAction : int { kErrorStop = 0, kErrorSilence = 1, kErrorCut = 2 };

constexpr int kSectorBytes = 2352;            // one audio sector
constexpr int kSamplesPerSector = kSectorBytes / 2;  // 16-bit sample values, interleaved stereo
constexpr int kSectorsPerSecond = 75;

struct CdTrackInfo {
    int number = 0;          // disc track number, 1-based
    int session = 0;         // 0-based session index
    int type = kTrackAudio;
    int32_t start = 0;       // first sector (LBA: sector 0 is at 00:02:00)
    int32_t sectors = 0;     // length in sectors
    int32_t sectorBytes = kSectorBytes;
    std::string isrc;        // filled by the backend where it is known up front
};

// The user-data size of one sector of a track type: 2352 for audio, 2048 for mode 1
// and mode 2 form 1, 2336 for mode 2, 2324 for mode 2 form 2.
int32_t SectorBytesOfType(int type);

struct CdDiscLayout {
    int discState = kNoDisc;
    int mediaType = 0;       // 0 CD-ROM ... 7 DVD-RW
    std::vector<std::vector<CdTrackInfo>> sessions;
    int32_t leadOut = 0;     // LBA one past the last sector of the last track
    int TrackCount() const;
};

// Receives the drive's events; called on the thread that triggered them.
class CdDriveListener {
public:
    virtual ~CdDriveListener() = default;
    virtual void OnMediumChanged() = 0;
    virtual void OnReadRetry(int16_t attempt, int32_t sector) = 0;
};

// ReadSectors status codes.
enum CdReadStatus : int32_t { kReadOk = 0, kReadFailed = 1, kReadNoDisc = 2 };

class CdDrive {
public:
    virtual ~CdDrive() = default;

    // Identification: vendor, model, revision; and the device or image path.
    virtual std::string IdentA() const = 0;
    virtual std::string IdentB() const = 0;
    virtual std::string IdentC() const = 0;
    virtual std::string DriveName() const = 0;
    std::string EntryText() const;  // the three identification strings joined by two blanks

    virtual void Initialize() {}
    virtual void Uninitialize() {}
    virtual void EjectTray() {}
    virtual void CloseTray() {}
    virtual void LockTray() {}
    virtual void UnlockTray() {}
    // Polls for a medium change and raises OnMediumChanged when one happened.
    virtual void PollMediumChange() {}

    // Re-reads the inserted disc (layout, state); keeps the cursor within range.
    void RefreshDisc();
    void ResetReader();

    int MediaType() const;
    int DiscState() const;
    int SessionCount() const;
    void SetCurrentSession(int session);
    int SessionTrackCount() const;
    void SetCurrentTrack(int track);
    int TrackSession() const;
    int TrackNumber() const;       // 0-based position among all tracks of the disc
    int32_t TrackSectors() const;
    int TrackMinutes() const;
    int TrackSeconds() const;
    int TrackType() const;
    int32_t SectorBytes() const;
    int32_t TrackStart() const;    // LBA of the current track's first sector
    std::string Isrc();            // empty when the track has none
    CdDiscLayout Layout() const;

    void SetReadMode(int mode);
    void SetErrorAction(int action);
    void SetReadRetries(int retries);
    int ReadMode() const;
    int ErrorAction() const;
    int ReadRetries() const;

    // The drive's read offset correction in stereo samples, counted as the public
    // drive-offset list counts it (most drives +6, some +667, a few negative): with an
    // offset of N the sample at disc position p is the one the drive returns at p + N,
    // that is, a drive with a positive offset delivers its audio N samples late and the
    // reads start N samples further on. Audio reads of every backend come out shifted so;
    // what would lie before the disc's first sector or past the end of the track's run of
    // audio tracks (the lead-out, or a data track) is silence, counted in OffsetFill and
    // told to the status sink when the read ends. Data tracks are never shifted. Rereads
    // and error actions work on the sectors the drive reads; with Cut, a sector it cannot
    // read drops the shifted sector that starts in it.
    void SetReadOffset(int32_t samples);
    int32_t ReadOffset() const;
    // Stereo samples of the current read (since BeginRead) made silent by the offset.
    struct OffsetFillCount {
        int64_t beforeFirstSector = 0;
        int64_t pastLeadOut = 0;
    };
    OffsetFillCount OffsetFill() const;
    // Receives the drive's status lines (level 0 information, 1 warning), e.g. how many
    // samples a read filled with silence because of the offset. Called with the drive
    // locked: the sink must not call back into the drive.
    using StatusSink = std::function<void(const std::string& text, int level)>;
    void SetStatusSink(StatusSink sink);

    // Reading the current track: BeginRead positions at its first sector; ReadSectors
    // returns at most count sectors as 16-bit interleaved samples (fewer at the track's
    // end or when sectors are cut); status is kReadOk or an error code.
    void BeginRead();
    void EndRead();
    int ReadSectors(int count, std::vector<int16_t>& samples, int32_t& status);
    void Seek(int32_t offsetInTrack);
    // Sectors of the current track read or passed so far. With the Cut action a read
    // returns fewer sectors than it passes; readers loop until this reaches
    // TrackSectors rather than counting the sectors returned.
    int32_t ReadPosition() const;
    // Sectors the generic reading loop gave up since BeginRead (no read succeeded within
    // the rereads), replaced by silence or cut by the error action.
    int32_t GivenUpSectors() const;

    void SetListener(CdDriveListener* listener);

protected:
    // The backend's part.
    virtual CdDiscLayout ReadLayout() = 0;
    virtual std::string ReadIsrc(const CdTrackInfo& track) { return track.isrc; }
    // Reads count raw sectors from lba into out (count * kSectorBytes bytes); returns
    // false when any of them cannot be read. Used by the generic reading loop.
    virtual bool ReadRawSectors(int32_t lba, int count, uint8_t* out) = 0;
    // Reads with the backend's own error correction; return false to use the generic
    // loop instead (the default). sectorsDone and status as for ReadSectors.
    virtual bool ReadCorrected(int32_t lba, int count, std::vector<int16_t>& samples,
                               int& sectorsDone, int32_t& status) {
        (void)lba; (void)count; (void)samples; (void)sectorsDone; (void)status;
        return false;
    }
    virtual void OnBeginRead(const CdTrackInfo& track) { (void)track; }
    virtual void OnEndRead() {}

    void RaiseMediumChanged();
    void RaiseReadRetry(int16_t attempt, int32_t sector);

    mutable std::recursive_mutex mutex_;

private:
    const CdTrackInfo* Current() const;
    // Reads count sectors from lba through the backend's correction or the generic
    // loop: samples gets the sectors kept, kept (when given) one flag a sector passed
    // (0 for a cut one); returns the sectors passed.
    int ReadRun(int32_t lba, int count, std::vector<int16_t>& samples, std::vector<uint8_t>* kept,
                int32_t& status);
    int ReadGeneric(int32_t lba, int count, std::vector<int16_t>& samples, std::vector<uint8_t>* kept,
                    int32_t& status);
    // ReadSectors of an audio track under a nonzero read offset.
    int ReadShifted(const CdTrackInfo& track, int32_t lba, int count, std::vector<int16_t>& samples,
                    int32_t& status);
    void ReportOffsetFill();

    CdDiscLayout layout_;
    int session_ = 0;
    int track_ = 0;
    int readMode_ = 0;
    int errorAction_ = 0;
    int readRetries_ = 0;
    int32_t position_ = 0;     // next sector to read, relative to the track start
    bool reading_ = false;
    int32_t givenUp_ = 0;
    CdDriveListener* listener_ = nullptr;
    int32_t readOffset_ = 0;
    OffsetFillCount fill_;
    StatusSink statusSink_;
    // The last raw sector of a shifted read, which the next read in order starts with.
    int32_t carryLba_ = -1;    // -1: nothing kept
    bool carryKept_ = false;   // false: the sector was cut
    std::vector<int16_t> carry_;
};

// The drives of the machine plus images given on the command line, with the
// current-drive selection (1-based as the drive count and drive number are).
class CdGrabber {
public:
    void Add(std::unique_ptr<CdDrive> drive);
    int DriveCount() const;
    int CurrentDrive() const;        // 1-based; 0 with no drives
    void SetCurrentDrive(int number);
    CdDrive& Drive();                // the current drive; throws ComponentError with none
    CdDrive& DriveAt(int number);    // 1-based
private:
    std::vector<std::unique_ptr<CdDrive>> drives_;
    int current_ = 0;
};

// Lists the machine's CD drives through libcdio and adds an image or device path.
// Returns a human-readable error in error when a path cannot be opened.
std::unique_ptr<CdDrive> OpenCdioDrive(const std::string& deviceOrImage, std::string* error);
std::vector<std::string> ListSystemCdDrives();

}  // namespace quarrow
