#include "encoders/EncodeWma.h"

#include <cstdio>

#include "app/Settings.h"
#include "encoders/OutputFormat.h"

namespace quarrow {

namespace {

// Profiles 12..55 are the WMA 9.2 CBR family: " WMA 9.2  128kbps; 44100 Hz; Stereo; CBR;".
constexpr int kFirstWma92Cbr = 12;
constexpr int kLastWma92Cbr = 55;

std::string Trim(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

}  // namespace

bool WmaProfileTarget(int profile, AvTarget& target, std::string& error) {
    const std::string entry = WmaProfileEntry(profile);
    if (entry.empty()) {
        error = "WMA profile " + std::to_string(profile) + " does not exist (1..125)";
        return false;
    }
    const std::string named = "WMA profile " + std::to_string(profile) + " (" + Trim(entry) + ")";
    if (profile < kFirstWma92Cbr || profile > kLastWma92Cbr) {
        error = named + " cannot be written: only the WMA 9.2 CBR profiles are supported";
        return false;
    }
    int kbps = 0, rate = 0;
    char layout[16] = {};
    if (std::sscanf(entry.c_str(), " WMA 9.2 %dkbps; %d Hz; %15[A-Za-z];", &kbps, &rate, layout) != 3) {
        error = named + " cannot be read";
        return false;
    }
    AvTarget t;
    t.codec = "wmav2";
    t.container = "asf";
    t.bitRate = kbps * 1000LL;
    t.sampleRate = rate;
    t.channels = std::string(layout) == "Mono" ? 1 : 2;
    if (const std::string why = AvTargetProblem(t); !why.empty()) {
        error = named + " cannot be written: " + why;
        return false;
    }
    target = t;
    return true;
}

std::string WmaProfileProblem(int profile) {
    AvTarget t;
    std::string error;
    return WmaProfileTarget(profile, t, error) ? std::string() : error;
}

namespace {

class WmaEncoder : public CEncoder {
public:
    explicit WmaEncoder(const CSettings& s) : settings_(s) {}

protected:
    bool Open(EncodeContext& ctx, const std::string& path, const std::string& finalPath) override {
        if (ctx.floatPath || ctx.mono) {
            ctx.PostMessage("Error: the WMA encoder takes 16-bit stereo samples", Severity::Error);
            return false;
        }
        AvTarget target;
        std::string error;
        if (!WmaProfileTarget(settings_.WMA.Profile, target, error)) {
            ctx.PostMessage("Error: " + error, Severity::Error);
            return false;
        }
        AvTags tags;
        if (settings_.OUTPUT.FillTag) {
            const TagValues t = ctx.Tags(finalPath);
            tags = {{"comment", t.comment}, {"track", Trim(t.trackNumber)}, {"album", t.album},
                    {"artist", t.artist}, {"genre", t.genre}, {"title", t.title}, {"date", t.year}};
        }
        if (!writer_.Open(path, target, tags, error)) {
            ctx.PostMessage("Error: " + error, Severity::Error);
            return false;
        }
        return true;
    }

    bool WriteShort(EncodeContext& ctx, const int16_t* samples, std::size_t count) override {
        std::string error;
        if (writer_.Write(samples, count / 2, error)) return true;
        ctx.PostMessage("Error: " + error, Severity::Error);
        return false;
    }

    bool Finish(EncodeContext& ctx, bool complete) override {
        if (!complete) {
            writer_.Abandon();
            return false;
        }
        std::string error;
        if (writer_.Finish(error)) return true;
        ctx.PostMessage("Error: " + error, Severity::Error);
        return false;
    }

private:
    CSettings settings_;
    AvWriter writer_;
};

}  // namespace

std::unique_ptr<CEncoder> MakeWmaEncoder(const CSettings& settings, int) {
    return std::make_unique<WmaEncoder>(settings);
}

}  // namespace quarrow
