// CSettings: the one process-wide record of user settings, kept in Quarrow.ini in the
// home folder. Fields are named after their INI keys and grouped by INI section; Load
// and Save walk every key in file order (VisitSettings).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace quarrow {

class CEventLog;

struct CSettings {
    struct Misc {
        int16_t Visualization = 2;
        int16_t DbClk = -1;          // initial value asks; a file without the key gives 1
        int16_t DriveCount = 0;
        int16_t DriveNum = 0;
        int32_t Tip = 1;             // read and written only by the tips dialog
    } MISC;
    struct Disc {
        int16_t RipModePreset = 1;   // 0 Play, 1 Burst, 2 Synch, 3 Secure, 4 Paranoid
        int16_t RipOnErrorAction = 0;// 0 Stop, 1 Silence, 2 Cut
        int16_t GrabOnErrorRetries = 5;  // initial 5, default of a missing key 0
    } DISC;
    struct FreeDB {
        int16_t AlbumInfoSource = 0; // 0 local then remote, 1 remote only, 2 local only
        int32_t SaveAlbumInfo = 1;
        int32_t LoadAlbumInfo = 1;
        int16_t CurFreeDBServer = 0;
        int32_t ProxyPort = 80;
        int32_t Authentication = 0;
        int32_t Proxy = 0;
        std::string LocalCDDBDir;    // home + "/Local CDDB"
        std::string Application = "MfcCDDB";
        std::string Version = "1.28";
        std::string Username;        // "Unregistered User " + random number
        std::string ProxyUsername;
        std::string ProxyPassword;
        std::string ProxyURL;
        std::string Email = "user@example.org";
    } FREEDB;
    struct Output {
        int16_t OutputFormat = 2;
        int16_t FileStyle = 11;
        int16_t NorPer = 100;
        int32_t SingleOpt = 0;
        int32_t CueSheet = 1;
        int32_t Notify = 1;
        int16_t Volume = 100;        // written unsigned
        int32_t M3U = 1;
        int32_t FillTag = 1;
        int32_t Normalize = 0;
        int32_t DCBiasAdjust = 1;
        int32_t VisRip = 1;
        int32_t WriteLog = 1;
        int16_t Resample = 1;
        std::string DesDir;          // home + "/Output/"
        std::string Separator = "-"; // at most 2 characters
    } OUTPUT;
    struct Wav {
        int16_t SubFormat = 1;
        int16_t Freq = 7;
        int32_t Channel = 1;
    } WAV;
    struct Aiff {
        int16_t SubFormat = 2;
        int16_t Freq = 7;
        int32_t Channel = 1;
        int16_t Ext = 0;
    } AIFF;
    struct Mp2 {
        int16_t Freq = 7;
        int16_t Bits = 11;
        int16_t Channel = 1;
        int32_t CopyRight = 0;
        int32_t Original = 0;
    } MP2;
    struct Mp3 {
        int16_t LameTab = 1;
        int16_t LameFreq = 7;
        int16_t LameBits = 11;
        int16_t LameChannel = 2;
        int16_t LameQuality = 5;
        int16_t LameCodingMode = 2;
        int16_t LameMaxVBRBit = 16;
        int16_t LameQualityVBR = 500;
        int16_t LameTargetBit = 128;
        int16_t LameMinVBRBit = 0;
        int32_t LameWriteHead = 1;
        int32_t LameHFil = 0;
        int32_t LameLFil = 0;
        int32_t LameHFilFreq = 30;
        int32_t LameHFilWid = 5;
        int32_t LameLFilFreq = 15160;
        int32_t LameLFilWid = 750;
        int16_t LamePreset = 1;
        int32_t LameBitsRes = 1;
        int32_t LameComplyISO = 0;
        int32_t LameCopyRight = 0;
        int32_t LameCRC = 0;
        int32_t LameOriginal = 0;
        int32_t LamePrivate = 0;
        int16_t LameID3 = 0;
    } MP3;
    struct Ape { int16_t CompLev = 3000; } APE;
    struct Flac {
        int32_t Native = 1;
        int32_t Verify = 0;
        int16_t CompLev = 5;
        int16_t BlockSize = 0;
    } FLAC;
    struct Wma { int16_t Profile = 47; } WMA;
    struct Vqf {
        int16_t Profile = 18;
        int16_t Quality = 16;
    } VQF;
    struct Ogg {
        int32_t Channel = 1;
        int32_t Quality = 1;
        int32_t VBR = 0;
        int16_t NomiBit = 11;
        int16_t Freq = 7;
        int16_t MaxBit = 11;
        int16_t MinBit = 11;
        int16_t QualityCompression = 35;
    } OGG;
    struct Aac {
        int16_t ContainerFormat = 6;
        int16_t Encoder = 0;
        int32_t FAACEncMode = 0;
        int16_t FAACQuality = 100;
        int16_t FAACAbr = 128;
        int16_t FAACObjType = 0;
        int16_t FAACBlkType = 0;
        int32_t FAACTns = 0;
        int32_t FAACMidside = 0;
        int32_t MPEGVer = 1;
        int16_t NEROEncMode = 0;
        int16_t NEROForPro = 0;
        int32_t CTCbr = 128000;
        int32_t CTPs = 0;
        int32_t CTIs = 0;
        int32_t CTMono = 0;
        int16_t CTForPro = 0;
        int32_t CTSpeech = 0;
        int32_t CTPns = 0;
        int16_t NEROQuality = 35;
        int32_t NEROEncCbr = 96000;
        int32_t NEROAbr = 96000;
    } AAC;
    struct Mpc {
        int16_t Ext = 0;
        int16_t Quality = 50;
        int16_t Preset = 3;
    } MPC;
    struct Wv {
        int32_t Merge = 0;
        int32_t Dynamic = 0;
        int32_t EncMod = 0;
        int16_t ComLev = 1;
        int32_t EnableBlkSize = 0;
        int32_t BlkSize = 65536;
        int16_t ExtMod = 0;
        int16_t SteMod = 0;
        int32_t CrtWvc = 0;
        int32_t OptWvc = 0;
        int32_t CalNos = 0;
        int32_t EnableShape = 0;
        int16_t Shape = 0;
        int16_t Kbps = 320;
    } WV;
    static constexpr int kOtherFormats = 18;
    struct Other {
        std::array<int16_t, 18> Codec{};
        std::array<int16_t, 18> Ext{};
        std::array<int16_t, 18> Channel = MakeFilled(1);
        std::array<int16_t, 18> Freq = MakeFilled(7);
        static constexpr std::array<int16_t, 18> MakeFilled(int16_t v) {
            std::array<int16_t, 18> a{};
            for (auto& x : a) x = v;
            return a;
        }
    } OTHER;
    struct Custom {
        std::string Encoder = "/usr/bin/lame";
        std::string Parameter =
            "--tt %title% --tl %album% --ta %artist% --ty %year% --tn %tracknumber%/%totaltracks% "
            "--tg %genre% --add-id3v2 -V0 - %of%";
        std::string FileExt = "mp3";
        int16_t Input = 0;
        int32_t Detail = 1;
    } CUSTOM;
    // Verified rips. Off by default, a rip behaves as it always has; the checksums and
    // the rip log (with WriteLog) are made whatever these say.
    struct Verify {
        int32_t Lookup = 0;          // compare the checksums with AccurateRip and the CUETools database
        int32_t TestAndCopy = 0;     // read each track twice and compare the CRCs of both reads
        std::string AccurateRipURL = "http://www.accuraterip.com/accuraterip";
        std::string CTDBURL = "http://db.cuetools.net";
    } VERIFY;

    // The record every field holds before the file is read, for a home folder:
    // path defaults under home, a fresh random user name, DbClk -1 and 5 rereads.
    static CSettings Initial(const std::string& homeFolder);
    // The values a file that lacks a key gives: as Initial, but DbClk 1 and 0 rereads.
    static CSettings Defaults(const std::string& homeFolder);

    // Reads every key in table order from homeFolder/Quarrow.ini. A missing key gets
    // its default; an integer with no digits reads as 0, like atoi. A file that cannot
    // be read (not a regular file, too large, unreadable) logs and reports "Error on
    // loading settings!" with the reason, returns false and is then never saved over.
    bool Load(const std::string& homeFolder, CEventLog* log = nullptr,
              std::string* error = nullptr);
    // Writes every key in table order (plus WAV/G726BPS) keeping unknown content of
    // the file; the file is replaced atomically and is private to the user (0600).
    // Refuses, reporting "Error on saving settings!", when the existing file failed to
    // load or cannot be read now: its content would be lost.
    bool Save(const std::string& homeFolder, CEventLog* log = nullptr,
              std::string* error = nullptr) const;

    // Why the file failed to load; empty after a good load and in a fresh record.
    std::string loadFailure;

    static std::string FilePath(const std::string& homeFolder);
};

// One key of the table: its section, name, and a reference to its field.
struct SettingsKey {
    const char* section;
    std::string key;
    enum Kind { Int16, UInt16, Int32, Str } kind;
    void* field;
    std::size_t bufferSize;   // strings only: includes the terminating NUL
    long min = 0, max = 0;    // integers only: the values the setting may take
};

// Calls fn for every key of the table, in file order ("Tip" is skipped: the load and
// save never touch it).
void VisitSettings(CSettings& s, const std::function<void(const SettingsKey&)>& fn);

// Reads or writes one setting by section and key as text (for the command line).
// An integer must be a whole decimal number within the key's range; a string is cut to
// its buffer. False, with a message naming the key and the value, otherwise.
bool GetSettingText(CSettings& s, const std::string& section, const std::string& key,
                    std::string& value);
bool SetSettingText(CSettings& s, const std::string& section, const std::string& key,
                    const std::string& value, std::string* error = nullptr);

}  // namespace quarrow
