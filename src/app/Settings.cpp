#include "app/Settings.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <sys/stat.h>

#include "app/EventLog.h"
#include "app/IniFile.h"

namespace quarrow {

namespace {

std::string RandomUserName() {
    // Seeded from the tick count, as every start without a saved name gets a new one.
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    std::minstd_rand gen(static_cast<unsigned>(ticks));
    return "Unregistered User " + std::to_string(gen() % 32768);
}

}  // namespace

std::string CSettings::FilePath(const std::string& homeFolder) { return homeFolder + "/Quarrow.ini"; }

CSettings CSettings::Initial(const std::string& homeFolder) {
    CSettings s;
    s.FREEDB.LocalCDDBDir = homeFolder + "/Local CDDB";
    s.OUTPUT.DesDir = homeFolder + "/Output/";
    s.FREEDB.Username = RandomUserName();
    return s;
}

CSettings CSettings::Defaults(const std::string& homeFolder) {
    CSettings s = Initial(homeFolder);
    s.MISC.DbClk = 1;
    s.DISC.GrabOnErrorRetries = 0;
    return s;
}

void VisitSettings(CSettings& s, const std::function<void(const SettingsKey&)>& fn) {
    // Integers take their field's whole width unless the setting's meaning narrows it.
    auto i16 = [&](const char* sec, const std::string& key, int16_t& f, long lo = INT16_MIN,
                   long hi = INT16_MAX) { fn(SettingsKey{sec, key, SettingsKey::Int16, &f, 0, lo, hi}); };
    auto u16 = [&](const char* sec, const std::string& key, int16_t& f, long lo = 0, long hi = UINT16_MAX) {
        fn(SettingsKey{sec, key, SettingsKey::UInt16, &f, 0, lo, hi});
    };
    auto i32 = [&](const char* sec, const std::string& key, int32_t& f, long lo = INT32_MIN,
                   long hi = INT32_MAX) { fn(SettingsKey{sec, key, SettingsKey::Int32, &f, 0, lo, hi}); };
    auto flag = [&](const char* sec, const std::string& key, int32_t& f) { i32(sec, key, f, 0, 1); };
    auto str = [&](const char* sec, const std::string& key, std::string& f, std::size_t n) {
        fn(SettingsKey{sec, key, SettingsKey::Str, &f, n});
    };

    auto& m = s.MISC;
    i16("MISC", "Visualization", m.Visualization);
    i16("MISC", "DbClk", m.DbClk, -1, 1);
    i16("MISC", "DriveCount", m.DriveCount);
    i16("MISC", "DriveNum", m.DriveNum);

    auto& d = s.DISC;
    i16("DISC", "RipModePreset", d.RipModePreset, 0, 4);
    i16("DISC", "RipOnErrorAction", d.RipOnErrorAction, 0, 2);
    i16("DISC", "GrabOnErrorRetries", d.GrabOnErrorRetries, 0, 1000);

    auto& f = s.FREEDB;
    i16("FREEDB", "AlbumInfoSource", f.AlbumInfoSource, 0, 2);
    flag("FREEDB", "SaveAlbumInfo", f.SaveAlbumInfo);
    flag("FREEDB", "LoadAlbumInfo", f.LoadAlbumInfo);
    i16("FREEDB", "CurFreeDBServer", f.CurFreeDBServer, 0, INT16_MAX);
    i32("FREEDB", "ProxyPort", f.ProxyPort, 0, 65535);
    flag("FREEDB", "Authentication", f.Authentication);
    flag("FREEDB", "Proxy", f.Proxy);
    str("FREEDB", "LocalCDDBDir", f.LocalCDDBDir, 256);
    str("FREEDB", "Application", f.Application, 256);
    str("FREEDB", "Version", f.Version, 256);
    str("FREEDB", "Username", f.Username, 256);
    str("FREEDB", "ProxyUsername", f.ProxyUsername, 256);
    str("FREEDB", "ProxyPassword", f.ProxyPassword, 256);
    str("FREEDB", "ProxyURL", f.ProxyURL, 256);
    str("FREEDB", "Email", f.Email, 256);

    auto& o = s.OUTPUT;
    i16("OUTPUT", "OutputFormat", o.OutputFormat, 1, 31);
    i16("OUTPUT", "FileStyle", o.FileStyle, 0, 12);
    i16("OUTPUT", "NorPer", o.NorPer, 1, 100);
    flag("OUTPUT", "SingleOpt", o.SingleOpt);
    flag("OUTPUT", "CueSheet", o.CueSheet);
    flag("OUTPUT", "Notify", o.Notify);
    u16("OUTPUT", "Volume", o.Volume, 0, 100);
    flag("OUTPUT", "M3U", o.M3U);
    flag("OUTPUT", "FillTag", o.FillTag);
    flag("OUTPUT", "Normalize", o.Normalize);
    flag("OUTPUT", "DCBiasAdjust", o.DCBiasAdjust);
    flag("OUTPUT", "VisRip", o.VisRip);
    flag("OUTPUT", "WriteLog", o.WriteLog);
    i16("OUTPUT", "Resample", o.Resample, 0, 1);
    str("OUTPUT", "DesDir", o.DesDir, 256);
    str("OUTPUT", "Separator", o.Separator, 3);

    i16("WAV", "SubFormat", s.WAV.SubFormat);
    i16("WAV", "Freq", s.WAV.Freq);
    i32("WAV", "Channel", s.WAV.Channel);

    i16("AIFF", "SubFormat", s.AIFF.SubFormat);
    i16("AIFF", "Freq", s.AIFF.Freq);
    i32("AIFF", "Channel", s.AIFF.Channel);
    i16("AIFF", "Ext", s.AIFF.Ext);

    i16("MP2", "Freq", s.MP2.Freq);
    i16("MP2", "Bits", s.MP2.Bits);
    i16("MP2", "Channel", s.MP2.Channel);
    i32("MP2", "CopyRight", s.MP2.CopyRight);
    i32("MP2", "Original", s.MP2.Original);

    auto& l = s.MP3;
    i16("MP3", "LameTab", l.LameTab);
    i16("MP3", "LameFreq", l.LameFreq);
    i16("MP3", "LameBits", l.LameBits);
    i16("MP3", "LameChannel", l.LameChannel);
    i16("MP3", "LameQuality", l.LameQuality);
    i16("MP3", "LameCodingMode", l.LameCodingMode);
    i16("MP3", "LameMaxVBRBit", l.LameMaxVBRBit);
    i16("MP3", "LameQualityVBR", l.LameQualityVBR);
    i16("MP3", "LameTargetBit", l.LameTargetBit);
    i16("MP3", "LameMinVBRBit", l.LameMinVBRBit);
    i32("MP3", "LameWriteHead", l.LameWriteHead);
    i32("MP3", "LameHFil", l.LameHFil);
    i32("MP3", "LameLFil", l.LameLFil);
    i32("MP3", "LameHFilFreq", l.LameHFilFreq);
    i32("MP3", "LameHFilWid", l.LameHFilWid);
    i32("MP3", "LameLFilFreq", l.LameLFilFreq);
    i32("MP3", "LameLFilWid", l.LameLFilWid);
    i16("MP3", "LamePreset", l.LamePreset);
    i32("MP3", "LameBitsRes", l.LameBitsRes);
    i32("MP3", "LameComplyISO", l.LameComplyISO);
    i32("MP3", "LameCopyRight", l.LameCopyRight);
    i32("MP3", "LameCRC", l.LameCRC);
    i32("MP3", "LameOriginal", l.LameOriginal);
    i32("MP3", "LamePrivate", l.LamePrivate);
    i16("MP3", "LameID3", l.LameID3);

    i16("APE", "CompLev", s.APE.CompLev);

    i32("FLAC", "Native", s.FLAC.Native);
    i32("FLAC", "Verify", s.FLAC.Verify);
    i16("FLAC", "CompLev", s.FLAC.CompLev);
    i16("FLAC", "BlockSize", s.FLAC.BlockSize);

    i16("WMA", "Profile", s.WMA.Profile);

    i16("VQF", "Profile", s.VQF.Profile);
    i16("VQF", "Quality", s.VQF.Quality);

    auto& g = s.OGG;
    i32("OGG", "Channel", g.Channel);
    i32("OGG", "Quality", g.Quality);
    i32("OGG", "VBR", g.VBR);
    i16("OGG", "NomiBit", g.NomiBit);
    i16("OGG", "Freq", g.Freq);
    i16("OGG", "MaxBit", g.MaxBit);
    i16("OGG", "MinBit", g.MinBit);
    i16("OGG", "QualityCompression", g.QualityCompression);

    auto& a = s.AAC;
    i16("AAC", "ContainerFormat", a.ContainerFormat);
    i16("AAC", "Encoder", a.Encoder);
    i32("AAC", "FAACEncMode", a.FAACEncMode);
    i16("AAC", "FAACQuality", a.FAACQuality);
    i16("AAC", "FAACAbr", a.FAACAbr);
    i16("AAC", "FAACObjType", a.FAACObjType);
    i16("AAC", "FAACBlkType", a.FAACBlkType);
    i32("AAC", "FAACTns", a.FAACTns);
    i32("AAC", "FAACMidside", a.FAACMidside);
    i32("AAC", "MPEGVer", a.MPEGVer);
    i16("AAC", "NEROEncMode", a.NEROEncMode);
    i16("AAC", "NEROForPro", a.NEROForPro);
    i32("AAC", "CTCbr", a.CTCbr);
    i32("AAC", "CTPs", a.CTPs);
    i32("AAC", "CTIs", a.CTIs);
    i32("AAC", "CTMono", a.CTMono);
    i16("AAC", "CTForPro", a.CTForPro);
    i32("AAC", "CTSpeech", a.CTSpeech);
    i32("AAC", "CTPns", a.CTPns);
    i16("AAC", "NEROQuality", a.NEROQuality);
    i32("AAC", "NEROEncCbr", a.NEROEncCbr);
    i32("AAC", "NEROAbr", a.NEROAbr);

    i16("MPC", "Ext", s.MPC.Ext);
    i16("MPC", "Quality", s.MPC.Quality);
    i16("MPC", "Preset", s.MPC.Preset);

    auto& w = s.WV;
    i32("WV", "Merge", w.Merge);
    i32("WV", "Dynamic", w.Dynamic);
    i32("WV", "EncMod", w.EncMod);
    i16("WV", "ComLev", w.ComLev);
    i32("WV", "EnableBlkSize", w.EnableBlkSize);
    i32("WV", "BlkSize", w.BlkSize);
    i16("WV", "ExtMod", w.ExtMod);
    i16("WV", "SteMod", w.SteMod);
    i32("WV", "CrtWvc", w.CrtWvc);
    i32("WV", "OptWvc", w.OptWvc);
    i32("WV", "CalNos", w.CalNos);
    i32("WV", "EnableShape", w.EnableShape);
    i16("WV", "Shape", w.Shape);
    i16("WV", "Kbps", w.Kbps);

    for (int i = 0; i < CSettings::kOtherFormats; ++i) i16("OTHER", "Codec" + std::to_string(i), s.OTHER.Codec[i]);
    for (int i = 0; i < CSettings::kOtherFormats; ++i) i16("OTHER", "Ext" + std::to_string(i), s.OTHER.Ext[i]);
    for (int i = 0; i < CSettings::kOtherFormats; ++i) i16("OTHER", "Channel" + std::to_string(i), s.OTHER.Channel[i]);
    for (int i = 0; i < CSettings::kOtherFormats; ++i) i16("OTHER", "Freq" + std::to_string(i), s.OTHER.Freq[i]);

    str("CUSTOM", "Encoder", s.CUSTOM.Encoder, 512);
    str("CUSTOM", "Parameter", s.CUSTOM.Parameter, 1024);
    str("CUSTOM", "FileExt", s.CUSTOM.FileExt, 8);
    i16("CUSTOM", "Input", s.CUSTOM.Input);
    i32("CUSTOM", "Detail", s.CUSTOM.Detail);

    flag("VERIFY", "Lookup", s.VERIFY.Lookup);
    flag("VERIFY", "TestAndCopy", s.VERIFY.TestAndCopy);
    str("VERIFY", "AccurateRipURL", s.VERIFY.AccurateRipURL, 256);
    str("VERIFY", "CTDBURL", s.VERIFY.CTDBURL, 256);
}

namespace {

std::string FieldText(const SettingsKey& k) {
    switch (k.kind) {
        case SettingsKey::Int16: return std::to_string(*static_cast<int16_t*>(k.field));
        case SettingsKey::UInt16:
            return std::to_string(static_cast<uint16_t>(*static_cast<int16_t*>(k.field)));
        case SettingsKey::Int32: return std::to_string(*static_cast<int32_t*>(k.field));
        case SettingsKey::Str: return *static_cast<std::string*>(k.field);
    }
    return std::string();
}

void SetField(const SettingsKey& k, long value) {
    if (k.kind == SettingsKey::Int32) *static_cast<int32_t*>(k.field) = static_cast<int32_t>(value);
    else *static_cast<int16_t*>(k.field) = static_cast<int16_t>(value);
}

void Report(CEventLog* log, std::string* error, const std::string& text, const std::string& detail) {
    if (error) *error = detail.empty() ? text : text + " " + detail;
    if (log) {
        try {
            log->Add(text, 1);
        } catch (...) {
            // The log file itself may be what failed; the caller still gets the text.
        }
    }
}

}  // namespace

bool CSettings::Load(const std::string& homeFolder, CEventLog* log, std::string* error) {
    try {
        IniFile ini;
        std::string why;
        if (!ini.Load(FilePath(homeFolder), &why)) {
            loadFailure = why;
            throw std::runtime_error(why + "; it will not be saved over at exit");
        }
        loadFailure.clear();
        CSettings defaults = Defaults(homeFolder);
        // Walk this record and the defaults side by side: same table, same order.
        std::vector<SettingsKey> keys, defs;
        VisitSettings(*this, [&](const SettingsKey& k) { keys.push_back(k); });
        VisitSettings(defaults, [&](const SettingsKey& k) { defs.push_back(k); });
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const SettingsKey& k = keys[i];
            if (k.kind == SettingsKey::Str) {
                *static_cast<std::string*>(k.field) =
                    ini.GetString(k.section, k.key, FieldText(defs[i]), k.bufferSize);
            } else if (auto text = ini.Get(k.section, k.key)) {
                SetField(k, ParseLeadingInt(*text).value_or(0));  // no digits: 0, as atoi gives
            } else {
                SetField(k, ParseLeadingInt(FieldText(defs[i])).value_or(0));
            }
        }
        return true;
    } catch (const std::exception& e) {
        Report(log, error, "Error on loading settings!", e.what());
        return false;
    }
}

bool CSettings::Save(const std::string& homeFolder, CEventLog* log, std::string* error) const {
    try {
        const std::string path = FilePath(homeFolder);
        if (!loadFailure.empty())
            throw std::runtime_error(path + " was not loaded (" + loadFailure + "); it is left as it is");
        IniFile ini;
        struct stat st {};
        std::string why;
        // Whatever else the file holds is kept; a file that exists but cannot be read is
        // left alone rather than replaced by one that lost it.
        if ((::stat(path.c_str(), &st) == 0 || errno != ENOENT) && !ini.Load(path, &why))
            throw std::runtime_error(why + "; it is left as it is");
        CSettings copy = *this;
        VisitSettings(copy, [&](const SettingsKey& k) {
            ini.Set(k.section, k.key, FieldText(k));
            if (std::string(k.section) == "WAV" && k.key == "Channel")
                ini.Set("WAV", "G726BPS", std::to_string(copy.WAV.Freq));
        });
        if (!ini.Save(path, 0600, &why)) throw std::runtime_error(why);
        return true;
    } catch (const std::exception& e) {
        Report(log, error, "Error on saving settings!", e.what());
        return false;
    }
}

namespace {

bool FindKey(CSettings& s, const std::string& section, const std::string& key, SettingsKey& found) {
    bool ok = false;
    auto lower = [](std::string t) {
        for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return t;
    };
    VisitSettings(s, [&](const SettingsKey& k) {
        if (!ok && lower(k.section) == lower(section) && lower(k.key) == lower(key)) {
            found = k;
            ok = true;
        }
    });
    return ok;
}

}  // namespace

bool GetSettingText(CSettings& s, const std::string& section, const std::string& key, std::string& value) {
    SettingsKey k{};
    if (!FindKey(s, section, key, k)) return false;
    value = FieldText(k);
    return true;
}

bool SetSettingText(CSettings& s, const std::string& section, const std::string& key, const std::string& value,
                    std::string* error) {
    SettingsKey k{};
    if (!FindKey(s, section, key, k)) {
        if (error) *error = "no setting " + section + "/" + key;
        return false;
    }
    if (k.kind == SettingsKey::Str) {
        std::string v = value;
        if (v.size() > k.bufferSize - 1) v.resize(k.bufferSize - 1);
        *static_cast<std::string*>(k.field) = v;
        return true;
    }
    // The whole text must be one decimal number: no atoi-style prefix, no wrap-around.
    errno = 0;
    char* end = nullptr;
    const long long n = std::strtoll(value.c_str(), &end, 10);
    const bool number = !value.empty() && end && *end == '\0' &&
                        !std::isspace(static_cast<unsigned char>(value[0]));
    if (!number || errno == ERANGE || n < k.min || n > k.max) {
        if (error)
            *error = "invalid value \"" + value + "\" for " + k.section + "/" + k.key + ": " +
                     (number ? "out of range" : "not a whole number") + " (" + std::to_string(k.min) + " to " +
                     std::to_string(k.max) + ")";
        return false;
    }
    SetField(k, static_cast<long>(n));
    return true;
}

}  // namespace quarrow
