#include "tools/pack/pack_cli.h"

#include <fstream>

#include "tools/pack/archive.h"
#include "tools/pack/manifest.h"

namespace vorlane::pack {

namespace {

constexpr const char* kUsage =
    "vorlane-pack: builds and inspects resource archives\n"
    "\n"
    "usage:\n"
    "  vorlane-pack build MANIFEST OUTDIR [--quiet]\n"
    "      build OUTDIR/data/master.dix and every location (locNNNN.dix/.bcf)\n"
    "      from a manifest; prints one progress line per location\n"
    "  vorlane-pack list ROOT\n"
    "      show the locations and resources (address, type, number, text, size)\n"
    "      of the archive in ROOT/data\n"
    "  vorlane-pack extract ROOT ADDRESS [--location NAME] [-o FILE]\n"
    "      write a resource's bytes to FILE (standard output without -o); the\n"
    "      address is looked up as the program does, later locations first\n"
    "  vorlane-pack verify ROOT\n"
    "      check that every index record has its object and that sizes and\n"
    "      checksums agree; exit status 1 when a problem is found\n"
    "  vorlane-pack kinds\n"
    "      list the source kinds a manifest may use\n"
    "  vorlane-pack make KIND SOURCE OUTFILE\n"
    "      build one item outside an archive (for example a font's glyph file\n"
    "      and its definition: kinds font and fontdef)\n"
    "  vorlane-pack --help\n"
    "\n"
    "manifest lines:\n"
    "  project \"NAME\" | date \"TEXT\" | build N | include PATH\n"
    "  location NUMBER NAME\n"
    "  resource ADDRESS type=N [number=N] [text=\"SHORT\"] [kind=KIND] source=SOURCE\n"
    "  # comment\n";

int Usage(std::ostream& err, const std::string& problem) {
    err << "vorlane-pack: " << problem << "\n(see vorlane-pack --help)\n";
    return 2;
}

// Builds the bytes of one source with a kind's builder and writes them to a file.
int Make(const std::vector<std::string>& args, std::ostream& err, const BuilderRegistry* builders) {
    if (args.size() != 4)
        return Usage(err, "make needs KIND SOURCE OUTFILE");
    BuilderRegistry standard = BuilderRegistry::Standard();
    const ResourceBuilder* builder = (builders ? *builders : standard).Find(args[1]);
    if (!builder)
        return Usage(err, "unknown kind '" + args[1] + "'");
    Manifest manifest;
    ManifestLocation location;
    ManifestResource resource;
    resource.kind = args[1];
    resource.source = args[2];
    resource.base_dir = ".";
    resource.where = "make";
    std::vector<uint8_t> bytes;
    std::string error;
    if (!(*builder)(BuildInput{manifest, location, resource}, bytes, error)) {
        err << "vorlane-pack: " << args[2] << ": " << error << "\n";
        return 1;
    }
    std::ofstream file(args[3], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!file.flush()) {
        err << "vorlane-pack: cannot write " << args[3] << "\n";
        return 1;
    }
    return 0;
}

int Build(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
          const BuilderRegistry* builders) {
    std::vector<std::string> plain;
    bool quiet = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--quiet") {
            quiet = true;
        } else if (!args[i].empty() && args[i][0] == '-') {
            return Usage(err, "build: unknown option " + args[i]);
        } else {
            plain.push_back(args[i]);
        }
    }
    if (plain.size() != 2)
        return Usage(err, "build needs MANIFEST and OUTDIR");
    Manifest manifest;
    std::string error;
    if (!LoadManifest(plain[0], manifest, error)) {
        err << "vorlane-pack: " << error << "\n";
        return 1;
    }
    for (const std::string& warning : ManifestWarnings(manifest)) {
        err << "vorlane-pack: warning: " << warning << "\n";
    }
    BuildOptions options;
    options.builders = builders;
    options.progress = quiet ? nullptr : &out;
    if (!BuildArchive(manifest, plain[1], options, error)) {
        err << "vorlane-pack: " << error << "\n";
        return 1;
    }
    if (!quiet)
        out << "wrote " << manifest.locations.size() << " locations to " << plain[1] << "/data\n";
    return 0;
}

bool Open(const std::string& root, ArchiveView& view, std::ostream& err) {
    std::string error;
    if (ReadArchive(root, view, error))
        return true;
    err << "vorlane-pack: " << error << "\n";
    return false;
}

int Extract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> plain;
    std::string location;
    std::string output;
    for (size_t i = 1; i < args.size(); ++i) {
        if ((args[i] == "--location" || args[i] == "-o") && i + 1 < args.size()) {
            (args[i] == "-o" ? output : location) = args[i + 1];
            ++i;
        } else if (!args[i].empty() && args[i][0] == '-') {
            return Usage(err, "extract: unknown or incomplete option " + args[i]);
        } else {
            plain.push_back(args[i]);
        }
    }
    if (plain.size() != 2)
        return Usage(err, "extract needs ROOT and ADDRESS");
    ArchiveView view;
    if (!Open(plain[0], view, err))
        return 1;
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ExtractResource(view, plain[1], location, bytes, error)) {
        err << "vorlane-pack: " << error << "\n";
        return 1;
    }
    if (output.empty()) {
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return out ? 0 : 1;
    }
    std::ofstream file(output, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!file) {
        err << "vorlane-pack: cannot write '" << output << "'\n";
        return 1;
    }
    return 0;
}

}  // namespace

int RunPackTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                const BuilderRegistry* builders) {
    if (args.empty())
        return Usage(err, "no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    if (command == "build")
        return Build(args, out, err, builders);
    if (command == "extract")
        return Extract(args, out, err);
    if (command == "make")
        return Make(args, err, builders);
    if (command == "kinds") {
        BuilderRegistry standard = BuilderRegistry::Standard();
        for (const std::string& kind : (builders ? *builders : standard).Kinds())
            out << kind << "\n";
        return 0;
    }
    if (command == "list" || command == "verify") {
        if (args.size() != 2)
            return Usage(err, command + " needs ROOT");
        ArchiveView view;
        if (!Open(args[1], view, err))
            return 1;
        if (command == "list") {
            ListArchive(view, out);
            return 0;
        }
        return VerifyArchive(view, out) == 0 ? 0 : 1;
    }
    return Usage(err, "unknown command '" + command + "'");
}

}  // namespace vorlane::pack
