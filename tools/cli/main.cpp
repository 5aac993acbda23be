// kestrel-cli: the kit's scripting front end over the mesh, sound bank and conversion libraries.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "archive/platform.h"
#include "cli_command.h"
#include "packaging/version.h"

namespace kestrel::cli {

using CommandFunction = int (*)(const Args&);

// One line per command; each lives in the file of its subject.
int RunExtract(const Args&);
int RunReplace(const Args&);
int RunAdd(const Args&);
int RunRemove(const Args&);
int RunTest(const Args&);
int RunMeshDump(const Args&);
int RunVrml(const Args&);
int RunVrmlAll(const Args&);
#if KESTREL_MEDIA_CODECS
int RunPng(const Args&);
int RunPngAll(const Args&);
int RunImportImage(const Args&);
int RunImportAll(const Args&);
int RunGltf(const Args&);
int RunGltfAll(const Args&);
int RunSdtList(const Args&);
int RunSdtExport(const Args&);
int RunSdtImport(const Args&);
int RunSdtWav(const Args&);
int RunSdtImportWav(const Args&);
#else
// The build has no picture or sound codecs (the Windows programs): these commands are left out.
constexpr CommandFunction RunPng = nullptr, RunPngAll = nullptr, RunImportImage = nullptr, RunImportAll = nullptr,
                          RunGltf = nullptr, RunGltfAll = nullptr, RunSdtList = nullptr, RunSdtExport = nullptr,
                          RunSdtImport = nullptr, RunSdtWav = nullptr, RunSdtImportWav = nullptr;
#endif
int RunConvert(const Args&);
int RunDiff(const Args&);
int RunModMake(const Args&);
int RunModApply(const Args&);
int RunModRevert(const Args&);
int RunModList(const Args&);

// By subject: archives, images, meshes, sound banks, old archives.
static const std::vector<Command> kCommands = {
    {"extract", "ARCHIVE ENTRY [OUT]", 2, 3, "write an entry's decoded bytes to OUT (default: its name, here)",
     RunExtract},
    {"replace", "ARCHIVE ENTRY FILE", 3, 3, "make FILE the entry's content; its name, type and Unknown stay",
     RunReplace},
    {"add", "ARCHIVE FILE...", 2, kAnyCount, "append each FILE as a new entry named after it, upper-cased", RunAdd},
    {"remove", "ARCHIVE ENTRY...", 2, kAnyCount, "remove the entries; later entries move up", RunRemove},
    {"test", "ARCHIVE", 1, 1, "check header, table, layout and every entry's stream", RunTest},
    {"png", "ARCHIVE.MAS ENTRY OUT.png | IMAGE OUT.png", 2, 3, "write one image entry or image file as PNG", RunPng},
    {"png-all", "ARCHIVE.MAS DIR", 2, 2, "write every image entry into DIR as NAME.png", RunPngAll},
    {"import-image", "ARCHIVE.MAS ENTRY PICTURE", 3, 3, "put a picture into an image entry, in the entry's own format",
     RunImportImage},
    {"import-all", "ARCHIVE.MAS DIR", 2, 2, "import the pictures of DIR that differ from their entries, in one rewrite",
     RunImportAll},
    {"mesh-dump", "MESH.MTS", 1, 1, "write the developer's text dump of a 4.10 mesh beside it (.txt)", RunMeshDump},
    {"vrml", "MESH.MTS OUT.WRL | ARCHIVE.MAS ENTRY OUT.WRL", 2, 3, "export one mesh file or mesh entry as VRML 2.0",
     RunVrml},
    {"vrml-all", "ARCHIVE.MAS OUT.WRL", 2, 2, "export every mesh entry of an archive into one VRML file", RunVrmlAll},
    {"gltf", "MESH.MTS OUT.glb | ARCHIVE.MAS ENTRY OUT.glb", 2, 3,
     "export one mesh with its textures as glTF (.glb or .gltf)", RunGltf},
    {"gltf-all", "ARCHIVE.MAS DIR", 2, 2, "export every mesh entry of an archive as DIR/ENTRY.glb", RunGltfAll},
    {"sdt-list", "BANK.SDT", 1, 1, "list a sound bank's samples: index, name and size", RunSdtList},
    {"sdt-export", "BANK.SDT INDEX OUT.MP2", 3, 3, "copy one sample's data out to a file, byte for byte",
     RunSdtExport},
    {"sdt-import", "BANK.SDT INDEX IN.MP2", 3, 3, "replace one sample's data by a file's bytes; rewrites the bank",
     RunSdtImport},
    {"sdt-wav", "BANK.SDT INDEX OUT.wav", 3, 3, "decode one sample into a 16-bit PCM WAV file", RunSdtWav},
    {"sdt-import-wav", "BANK.SDT INDEX IN.wav", 3, 3,
     "encode a WAV file in the sample's own format and put it in its place", RunSdtImportWav},
    {"convert", "OLD.MAS [NEW.MAS]", 1, 2, "convert an F1-2001 archive (NEW defaults to OLD_2002.MAS)", RunConvert},
    {"diff", "A.MAS B.MAS", 2, 2, "list the entries B adds, removes and changes; exit 1 when any", RunDiff},
    {"mod-make", "ORIGINAL.MAS MODIFIED PACKAGE [--title TEXT]", 3, 5,
     "package what MODIFIED (an archive or a folder) adds, changes and removes", RunModMake},
    {"mod-apply", "ARCHIVE PACKAGE", 2, 2, "apply a mod package, keeping what takes it back beside ARCHIVE",
     RunModApply},
    {"mod-revert", "ARCHIVE PACKAGE", 2, 2, "take an applied package back, byte for byte", RunModRevert},
    {"mod-list", "ARCHIVE", 1, 1, "list the applied packages, newest first, and what each touched", RunModList},
};

static const char kLeftOutNote[] =
    "Left out of this build, which has no picture or sound codecs (libpng, libjpeg, libimagequant, mpg123, "
    "twolame)";

static int UsageError(const Command& command) {
  std::cerr << "usage: kestrel-cli " << command.Name << ' ' << command.Usage << '\n';
  return 2;
}

static void PrintHelp(std::ostream& out) {
  out << "usage: kestrel-cli COMMAND [ARGUMENTS]\n       kestrel-cli --version\n\nCommands:\n";
  // A command with two forms ("A | B") lists each on its own line, so the summaries stay in column.
  std::string leftOut;
  for (const Command& c : kCommands) {
    if (!c.Run) {
      leftOut += (leftOut.empty() ? "" : ", ") + std::string(c.Name);
      continue;
    }
    const std::string usage = c.Usage;
    size_t from = 0;
    bool first = true;
    while (from <= usage.size()) {
      const size_t bar = usage.find(" | ", from);
      const size_t end = bar == std::string::npos ? usage.size() : bar;
      const std::string head = std::string(c.Name) + " " + usage.substr(from, end - from);
      out << "  " << head;
      if (first) {
        for (size_t i = head.size(); i < 40; ++i) out << ' ';
        out << ' ' << c.Summary;
      }
      out << '\n';
      first = false;
      if (bar == std::string::npos) break;
      from = bar + 3;
    }
  }
  if (!leftOut.empty()) out << '\n' << kLeftOutNote << ":\n  " << leftOut << '\n';
}

}  // namespace kestrel::cli

int main(int argc, char** argv) {
  using namespace kestrel::cli;
  const kestrel::platform::Utf8Arguments utf8(argc, argv);
  // The mesh dump writes reals with the user's decimal separator; VRML output never depends on it.
  std::setlocale(LC_ALL, "");
  if (argc < 2) {
    PrintHelp(std::cerr);
    return 2;
  }
  if (kestrel::PrintVersionIfAsked(argc, argv, "kestrel-cli")) return 0;
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintHelp(std::cout);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (name == c.Name) {
      if (!c.Run) {
        std::cerr << "kestrel-cli: \"" << name << "\" is not part of this build (see kestrel-cli --help)\n";
        return 2;
      }
      Args args(argv + 2, argv + argc);
      if (args.size() < c.MinArgs || args.size() > c.MaxArgs) return UsageError(c);
      try {
        return c.Run(args);
      } catch (const std::exception& e) {
        return Fail(e.what());
      }
    }
  }
  std::cerr << "kestrel-cli: unknown command \"" << name << "\" (see kestrel-cli --help)\n";
  return 2;
}
