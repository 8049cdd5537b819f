// CdioDrive: a CD drive over libcdio and libcdio-paranoia. It opens optical devices
// (/dev/sr0 ...) and disc image files (cdrdao TOC, NRG), which libcdio treats as drives.
// OpenCdioDrive hands cue sheets (and a BIN file given alone) to CueDrive instead.
//
// How the drive's operations map onto the libraries:
//
//   Operation            Device                               Image file
//   -------------------  -----------------------------------  ---------------------------
//   IdentA/B/C           cdio_get_hwinfo vendor/model/rev.    "Image", file name, driver name
//   DriveName            device path                          image path
//   DiscState            0 without a readable TOC, 1 with     1 with tracks
//                        tracks, 2 with an empty TOC
//   MediaType            MMC disc profile (CD-R 1, CD-RW 2,   0 (CD-ROM)
//                        DVD codes 3-7), else 0
//   TrackType            cdio_get_track_format + _green:      same
//                        audio 0, data 1 (2 with an XA
//                        subheader), XA 21, CD-i/PSX 2
//   Sessions             tracks from cdio_get_last_session    all tracks in session 0
//                        on go to session 1
//   Isrc                 cdio_get_track_isrc                  same, where the image has one
//   Read mode Play 0,    cdio_read_audio_sectors through the generic loop: rereads
//             Burst 1    raise OnReadRetry, then the error action
//   Read mode Synch 2    paranoia OVERLAP|VERIFY              (audio tracks only; data
//             Secure 3   paranoia FULL^NEVERSKIP               tracks always use the
//             Paranoid 4 paranoia FULL                         generic loop)
//                        Paranoid never skips until a sector has used up its rereads
//                        (at least one); then it may skip as Secure does, so an
//                        unreadable sector cannot hold the read forever
//   ReadRetries          paranoia_read_limited's retry limit / the generic loop's rereads
//   OnReadRetry          paranoia callback READERR and SKIP events (sector = position / 1176);
//                        the attempt counts the events of the sector being read
//   ErrorAction          for a sector paranoia gave up on (SKIP) or returned nothing:
//                        Stop ends the read with kReadFailed, Silence gives zeros, Cut
//                        drops the sector
//   PollMediumChange     cdio_get_media_changed               never changes
//   Eject/Close          cdio_eject_media_drive/close_tray    nothing
//   Lock/Unlock          MMC PREVENT/ALLOW MEDIUM REMOVAL     nothing
#pragma once

#include <memory>
#include <string>

#include "app/CdDrive.h"

struct _CdIo;
struct cdrom_drive_s;
struct cdrom_paranoia_s;

namespace quarrow {

class CdioDrive : public CdDrive {
public:
    // Opens a device or image; null with a message naming the path when it cannot.
    static std::unique_ptr<CdioDrive> Open(const std::string& path, std::string* error);
    ~CdioDrive() override;

    std::string IdentA() const override;
    std::string IdentB() const override;
    std::string IdentC() const override;
    std::string DriveName() const override;

    void EjectTray() override;
    void CloseTray() override;
    void LockTray() override;
    void UnlockTray() override;
    void PollMediumChange() override;

    bool IsImage() const { return image_; }

protected:
    CdDiscLayout ReadLayout() override;
    std::string ReadIsrc(const CdTrackInfo& track) override;
    bool ReadRawSectors(int32_t lba, int count, uint8_t* out) override;
    bool ReadCorrected(int32_t lba, int count, std::vector<int16_t>& samples, int& sectorsDone,
                       int32_t& status) override;
    void OnBeginRead(const CdTrackInfo& track) override;
    void OnEndRead() override;

private:
    CdioDrive() = default;
    bool OpenHandle(std::string* error);
    void CloseParanoia();
    bool EnsureParanoia();

    std::string path_;
    bool image_ = false;
    int driver_ = 0;             // driver_id_t
    _CdIo* cdio_ = nullptr;
    cdrom_drive_s* cdda_ = nullptr;
    cdrom_paranoia_s* paranoia_ = nullptr;
    int paranoiaMode_ = -1;
    int32_t paranoiaNext_ = -1;  // the sector paranoia delivers next
    int32_t trackType_ = 0;      // of the track being read
    std::string vendor_, model_, revision_;
};

}  // namespace quarrow
