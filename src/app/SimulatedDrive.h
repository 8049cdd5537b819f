// SimulatedDrive: a CD drive without hardware, built from a disc description. It plays
// the parts of a real drive the rest of the system depends on: a scripted table of
// contents (audio and data tracks, two sessions with the 11400-sector gap of enhanced
// CDs), identification strings, no disc, medium changes, and sectors that cannot be
// read (always, or a given number of times before they succeed). Audio comes from a
// generator; the default one encodes the absolute sample position in every sample so
// that readers can check where their samples came from.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/CdDrive.h"

namespace quarrow {

struct SimTrack {
    int session = 0;             // 0-based; sessions must not decrease
    int type = kTrackAudio;
    int32_t sectors = 0;
    std::string isrc;
    std::vector<uint8_t> bytes;  // the track's content when given (padded with zeros)
};

struct SimDisc {
    std::vector<SimTrack> tracks;
    int mediaType = 0;
    int32_t firstSector = 0;     // LBA of track 1
    int32_t sessionGap = 11400;  // sectors between the end of a session and the next one
    // The content of one sector when its track gives no bytes; null: SimulatedSector.
    std::function<void(int32_t lba, uint8_t* out)> generator;
};

struct SimIdentity {
    std::string vendor = "Quarrow";
    std::string model = "Simulated Drive";
    std::string revision = "1.0";
    std::string name = "sim0";
};

// Parses a small text description, one statement a line ('#' starts a comment):
//   vendor|model|revision|name TEXT   identification
//   media N                           MediaType code
//   start N                           LBA of track 1
//   gap N                             sectors between sessions
//   session                           the following tracks start the next session
//   track TYPE SECTORS [ISRC]         TYPE: audio, mode1, mode2, form1, form2 or a code
//   nodisc                            the drive starts empty
// Returns false with a message naming the line on bad input.
bool ParseSimDisc(const std::string& text, SimDisc& disc, SimIdentity& ident, bool& discPresent,
                  std::string* error);

// The default content of a sector: sample frame k (0..587) of sector lba carries the
// absolute frame position p = lba * 588 + k as left = low 16 bits of p and right =
// high 16 bits of p XOR 0x5A5A, both little-endian.
void SimulatedSector(int32_t lba, uint8_t* out);
// The absolute frame position encoded in a left/right pair of SimulatedSector.
int64_t SimulatedFramePosition(int16_t left, int16_t right);

class SimulatedDrive : public CdDrive {
public:
    explicit SimulatedDrive(SimDisc disc = {}, SimIdentity ident = {}, bool discPresent = true);

    std::string IdentA() const override;
    std::string IdentB() const override;
    std::string IdentC() const override;
    std::string DriveName() const override;

    void EjectTray() override;
    void CloseTray() override;
    void LockTray() override;
    void UnlockTray() override;

    // Medium changes as the user makes them; both raise OnMediumChanged at once.
    void InsertDisc(SimDisc disc);
    void EjectDisc();
    // Marks a sector (LBA) unreadable: failures < 0 fails always, otherwise its first
    // `failures` single-sector reads fail and later ones succeed. A multi-sector read
    // covering a sector that still fails fails as a whole.
    void SetUnreadable(int32_t lba, int failures = -1);
    void ClearUnreadable();

    bool TrayOpen() const;
    bool TrayLocked() const;
    int RawReads() const;        // ReadRawSectors calls so far
    int FailedReads() const;     // of which failed

protected:
    CdDiscLayout ReadLayout() override;
    bool ReadRawSectors(int32_t lba, int count, uint8_t* out) override;

private:
    bool FillSector(int32_t lba, uint8_t* out) const;

    SimDisc disc_;
    SimIdentity ident_;
    bool present_ = true;
    bool trayOpen_ = false;
    bool locked_ = false;
    SimDisc trayDisc_;           // the disc lying in the open tray
    bool trayHasDisc_ = false;
    std::map<int32_t, int> unreadable_;  // lba -> remaining failures (< 0: always)
    int rawReads_ = 0;
    int failedReads_ = 0;
};

}  // namespace quarrow
