#include "app/Settings.h"

#include <chrono>
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
    auto i16 = [&](const char* sec, const std::string& key, int16_t& f) {
        fn(SettingsKey{sec, key, SettingsKey::Int16, &f, 0});
    };
    auto u16 = [&](const char* sec, const std::string& key, int16_t& f) {
        fn(SettingsKey{sec, key, SettingsKey::UInt16, &f, 0});
    };
    auto i32 = [&](const char* sec, const std::string& key, int32_t& f) {
        fn(SettingsKey{sec, key, SettingsKey::Int32, &f, 0});
    };
    auto str = [&](const char* sec, const std::string& key, std::string& f, std::size_t n) {
        fn(SettingsKey{sec, key, SettingsKey::Str, &f, n});
    };

    auto& m = s.MISC;
    i16("MISC", "Visualization", m.Visualization);
    i16("MISC", "DbClk", m.DbClk);
    i16("MISC", "DriveCount", m.DriveCount);
    i16("MISC", "DriveNum", m.DriveNum);

    auto& d = s.DISC;
    i16("DISC", "RipModePreset", d.RipModePreset);
    i16("DISC", "RipOnErrorAction", d.RipOnErrorAction);
    i16("DISC", "GrabOnErrorRetries", d.GrabOnErrorRetries);

    auto& f = s.FREEDB;
    i16("FREEDB", "AlbumInfoSource", f.AlbumInfoSource);
    i32("FREEDB", "SaveAlbumInfo", f.SaveAlbumInfo);
    i32("FREEDB", "LoadAlbumInfo", f.LoadAlbumInfo);
    i16("FREEDB", "CurFreeDBServer", f.CurFreeDBServer);
    i32("FREEDB", "ProxyPort", f.ProxyPort);
    i32("FREEDB", "Authentication", f.Authentication);
    i32("FREEDB", "Proxy", f.Proxy);
    str("FREEDB", "LocalCDDBDir", f.LocalCDDBDir, 256);
    str("FREEDB", "Application", f.Application, 256);
    str("FREEDB", "Version", f.Version, 256);
    str("FREEDB", "Username", f.Username, 256);
    str("FREEDB", "ProxyUsername", f.ProxyUsername, 256);
    str("FREEDB", "ProxyPassword", f.ProxyPassword, 256);
    str("FREEDB", "ProxyURL", f.ProxyURL, 256);
    str("FREEDB", "Email", f.Email, 256);

    auto& o = s.OUTPUT;
    i16("OUTPUT", "OutputFormat", o.OutputFormat);
    i16("OUTPUT", "FileStyle", o.FileStyle);
    i16("OUTPUT", "NorPer", o.NorPer);
    i32("OUTPUT", "SingleOpt", o.SingleOpt);
    i32("OUTPUT", "CueSheet", o.CueSheet);
    i32("OUTPUT", "Notify", o.Notify);
    u16("OUTPUT", "Volume", o.Volume);
    i32("OUTPUT", "M3U", o.M3U);
    i32("OUTPUT", "FillTag", o.FillTag);
    i32("OUTPUT", "Normalize", o.Normalize);
    i32("OUTPUT", "DCBiasAdjust", o.DCBiasAdjust);
    i32("OUTPUT", "VisRip", o.VisRip);
    i32("OUTPUT", "WriteLog", o.WriteLog);
    i16("OUTPUT", "Resample", o.Resample);
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
        if (!ini.Load(FilePath(homeFolder)))
            throw std::runtime_error("cannot read " + FilePath(homeFolder));
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
            } else if (auto v = ini.GetInt(k.section, k.key)) {
                SetField(k, *v);
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
        IniFile ini;
        ini.Load(FilePath(homeFolder));  // keeps whatever else the file holds
        CSettings copy = *this;
        VisitSettings(copy, [&](const SettingsKey& k) {
            ini.Set(k.section, k.key, FieldText(k));
            if (std::string(k.section) == "WAV" && k.key == "Channel")
                ini.Set("WAV", "G726BPS", std::to_string(copy.WAV.Freq));
        });
        std::string why;
        if (!ini.Save(FilePath(homeFolder), 0600, &why)) throw std::runtime_error(why);
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

bool SetSettingText(CSettings& s, const std::string& section, const std::string& key, const std::string& value) {
    SettingsKey k{};
    if (!FindKey(s, section, key, k)) return false;
    if (k.kind == SettingsKey::Str) {
        std::string v = value;
        if (v.size() > k.bufferSize - 1) v.resize(k.bufferSize - 1);
        *static_cast<std::string*>(k.field) = v;
        return true;
    }
    auto v = ParseLeadingInt(value);
    if (!v) return false;
    SetField(k, *v);
    return true;
}

}  // namespace quarrow
