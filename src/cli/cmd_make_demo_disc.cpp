// `make-demo-disc DIR`: writes the demo disc image (cue sheet and BIN file) into DIR and
// prints the path of the cue sheet, which --drive then opens like a CD.
#include <iostream>

#include "app/DemoDisc.h"
#include "cli/Cli.h"

namespace quarrow::cli {

namespace {

int RunMakeDemoDisc(CliApp& app, std::vector<std::string>& args) {
    const bool json = TakeFlag(args, "--json") || app.json;
    if (args.size() != 1 || args[0].empty()) {
        std::cerr << "usage: make-demo-disc DIR\n";
        return 64;
    }
    std::string error;
    try {
        if (!WriteDemoDisc(args[0], &error)) {
            std::cerr << "error: " << error << "\n";
            return 1;
        }
    } catch (const std::exception& e) {
        std::cerr << "error: cannot write the demo disc: " << e.what() << "\n";
        return 1;
    }
    const std::string cue = args[0] + "/" + kDemoCueName;
    if (json)
        std::cout << "{\"cue\":" << JsonString(cue) << "}\n";
    else
        std::cout << cue << "\n";
    return 0;
}

CommandRegistrar makeDemoDisc({"make-demo-disc", "make-demo-disc DIR       write the demo disc image into DIR", false,
                               RunMakeDemoDisc});

}  // namespace

}  // namespace quarrow::cli
