// kestrel-cli: the kit's scripting front end over the mesh, sound bank and conversion libraries.
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "archive/file_io.h"
#include "cli_command.h"

namespace kestrel::cli {

// One line per command; each lives in the file of its subject.
int RunMeshDump(const Args&);
int RunVrml(const Args&);
int RunVrmlAll(const Args&);
int RunSdtList(const Args&);
int RunSdtExport(const Args&);
int RunSdtImport(const Args&);
int RunSdtWav(const Args&);
int RunSdtImportWav(const Args&);
int RunConvert(const Args&);
int RunPng(const Args&);
int RunPngAll(const Args&);
int RunExtract(const Args&);
int RunReplace(const Args&);
int RunAdd(const Args&);
int RunRemove(const Args&);
int RunTest(const Args&);

static const std::vector<Command> kCommands = {
    {"mesh-dump", "MESH.MTS", "write the developer's text dump of a 4.10 mesh beside it (.txt)", RunMeshDump},
    {"vrml", "MESH.MTS OUT.WRL | ARCHIVE.MAS ENTRY OUT.WRL", "export one mesh file or mesh entry as VRML 2.0",
     RunVrml},
    {"vrml-all", "ARCHIVE.MAS OUT.WRL", "export every mesh entry of an archive into one VRML file", RunVrmlAll},
    {"sdt-list", "BANK.SDT", "list a sound bank's samples: index, name and size", RunSdtList},
    {"sdt-export", "BANK.SDT INDEX OUT.MP2", "copy one sample's data out to a file, byte for byte", RunSdtExport},
    {"sdt-import", "BANK.SDT INDEX IN.MP2", "replace one sample's data by a file's bytes; rewrites the bank",
     RunSdtImport},
    {"sdt-wav", "BANK.SDT INDEX OUT.wav", "decode one sample into a 16-bit PCM WAV file", RunSdtWav},
    {"sdt-import-wav", "BANK.SDT INDEX IN.wav", "encode a WAV file in the sample's own format and put it in its place",
     RunSdtImportWav},
    {"convert", "OLD.MAS [NEW.MAS]", "convert an F1-2001 archive (NEW defaults to OLD_2002.MAS)", RunConvert},
    {"png", "ARCHIVE.MAS ENTRY OUT.png | IMAGE OUT.png", "write one image entry or image file as PNG", RunPng},
    {"png-all", "ARCHIVE.MAS DIR", "write every image entry into DIR as NAME.png", RunPngAll},
    {"extract", "ARCHIVE ENTRY [OUT]", "write an entry's decoded bytes to OUT (default: its name, here)", RunExtract},
    {"replace", "ARCHIVE ENTRY FILE", "make FILE the entry's content; its name, type and Unknown stay", RunReplace},
    {"add", "ARCHIVE FILE...", "append each FILE as a new entry named after it, upper-cased", RunAdd},
    {"remove", "ARCHIVE ENTRY...", "remove the entries; later entries move up", RunRemove},
    {"test", "ARCHIVE", "check header, table, layout and every entry's stream", RunTest},
};

int Fail(const std::string& message) {
  std::cerr << "kestrel-cli: " << message << '\n';
  return 1;
}

int UsageError(const Command& command) {
  std::cerr << "usage: kestrel-cli " << command.Name << ' ' << command.Usage << '\n';
  return 2;
}

bool OutputIsInput(const std::string& output, const std::string& input) {
  if (!IsSameFile(output, input)) return false;
  Fail(output + " is the file being read; choose another output");
  return true;
}

const Command& FindCommand(const std::string& name) {
  for (const Command& c : kCommands)
    if (name == c.Name) return c;
  throw std::logic_error("unknown command " + name);
}

static void PrintHelp(std::ostream& out) {
  out << "usage: kestrel-cli COMMAND [ARGUMENTS]\n\nCommands:\n";
  for (const Command& c : kCommands) {
    std::string head = std::string(c.Name) + " " + c.Usage;
    out << "  " << head;
    for (size_t i = head.size(); i < 40; ++i) out << ' ';
    out << ' ' << c.Summary << '\n';
  }
}

}  // namespace kestrel::cli

int main(int argc, char** argv) {
  using namespace kestrel::cli;
  // Past a file size limit (ulimit -f) a write then fails with "Disk full", which is reported like a
  // full disk, instead of the process being ended by SIGXFSZ with nothing said.
  std::signal(SIGXFSZ, SIG_IGN);
  // The mesh dump writes reals with the user's decimal separator; VRML output never depends on it.
  std::setlocale(LC_ALL, "");
  if (argc < 2) {
    PrintHelp(std::cerr);
    return 2;
  }
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintHelp(std::cout);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (name == c.Name) {
      Args args(argv + 2, argv + argc);
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
