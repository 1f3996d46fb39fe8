#include "host/cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "host/answers.h"
#include "host/failure.h"
#include "host/session.h"
#include "platform/win32/registry.h"

namespace host {
namespace {

constexpr const char* kOverview = R"(zphost - a stand-in for the analysis host Zephanor: registers import modules,
imports a file through a module and shows or streams what it delivers.

Usage: zphost [options] COMMAND ARGUMENTS...

Commands:
  register MODULE            run the module's DllRegisterServer
  register --all             register every installed import module
  unregister MODULE          run the module's DllUnregisterServer
  version MODULE|PROGID      show the module's version information
  valid PROGID FILE          ask the module whether it reads FILE (IsValid)
  import PROGID FILE         import FILE; print counts, DataSize, FileDate, ERRNO, ERRMSG
  list PROGID FILE           every property of the file, its signals, scalars and comments
  read PROGID FILE SIGNAL    one signal's samples with their times
  csv PROGID FILE [SIGNAL..] samples as comma-separated rows signal,index,time,value
  help [COMMAND]             this text, or a command's

Options for the commands that import:
  --user TEXT                ImportFile's user text
  --var NAME=VALUE           set a host variable for this run (repeatable)
  --zp-version N             the host version (1536 is 6.0, 1792 is 7.0)
  --parameters FILE          give the module this parameter block
  --answer ok|yes|no|cancel  answer the next message box (repeatable)
Options everywhere:
  --registry FILE            the registry file (default: $WINPORT_REGISTRY)
  --gui                      show the module's boxes and dialogs as windows
  --help                     this text

Examples:
  zphost register --all
  zphost register build/pellor/libPellor.so
  zphost list --json Pellor.ZPFileImport run42.mdf
  zphost csv Pellor.ZPFileImport run42.mdf Speed Torque --wide -o run42.csv

Exit codes: 0 ok, 1 the module failed, 2 usage, 3 activation, 4 file I/O.
)";

const std::map<std::string, std::string> kCommandHelp = {
    {"register", R"(zphost register MODULE
zphost register --all

Loads MODULE (a path, or a Windows name such as Pellor.dll, which stands for
libPellor.so) and runs its DllRegisterServer: its classes, ProgIDs and type
library are written into the registry. With --all, every import module
installed with zphost (in the folder beside it that the installation made)
is registered; the libraries the modules load are left alone.

Example:
  zphost register --all
)"},
    {"version", R"(zphost version MODULE|PROGID

Shows the version information a module carries: its file and product
version, the language of its texts and the strings of its version resource;
or that it carries none. The module is named by the ProgID of a registered
class, by its path, or by its Windows name (Pellor.dll).

Example:
  zphost version Pellor.ZPFileImport
)"},
    {"unregister", R"(zphost unregister MODULE

Loads MODULE and runs its DllUnregisterServer, which removes what
registering wrote.

Example:
  zphost unregister build/pellor/libPellor.so
)"},
    {"valid", R"(zphost valid PROGID FILE

Creates the module's file object and asks IsValid(FILE). Prints 1 and exits
with 0 when the module reads the file, else prints 0 and exits with 1.

Example:
  zphost valid Pellor.ZPFileImport run42.mdf
)"},
    {"import", R"(zphost import [options] PROGID FILE

Imports FILE through the module's file object and prints the number of
signals, scalars and comments, DataSize, FileDate and the host variables
ERRNO and ERRMSG, which the host deletes before the import.

Options:
  --user TEXT                ImportFile's user text
  --var NAME=VALUE           set a host variable in the Variables key for this run
                             only: afterwards it is put back as it was (repeatable)
  --zp-version N             put ZpVersion; from 1792 on the 7.0 Variables key is used
  --parameters FILE          put the address of this raw parameter block as Parameters
  --answer ok|yes|no|cancel  answer the next message box; boxes beyond get their default button

Example:
  zphost import --var MDF_COMPOSE_DATA=1 --answer yes Pellor.ZPFileImport run42.mdf
)"},
    {"list", R"(zphost list [options] [--json] PROGID FILE

Imports FILE and lists every property of the file object, of each signal and
scalar (in index order) and the comments, under the names the contract gives
them, then the host variables ERRNO and ERRMSG after the import and every
message box and dialog the module showed, with the answer it got. With
--json, one object with the keys "file", "signals", "scalars", "comments",
"variables" and "boxes" (each {"kind", "caption", "text", "answer"}; without
"boxes" under --gui). Takes the options of import.

Example:
  zphost list --json Pellor.ZPFileImport run42.mdf > run42.json
)"},
    {"read", R"(zphost read [options] [--raw] [--ex] [--chunk N] PROGID FILE SIGNAL

Imports FILE and prints the samples of SIGNAL (a name, or a number from 1)
as rows index, time and value, tab-separated; a gap (NoValue) leaves the
value empty. Times come from the signal that XSignal names, else from
XOffset + index x XFactor.

  --raw      write the stored bytes of each sample as delivered, nothing else
  --ex       read with ReadEx and take its times
  --chunk N  ask Read for at most N bytes at a time (default 65536)

Takes the options of import.

Example:
  zphost read Pellor.ZPFileImport run42.mdf Speed
)"},
    {"csv", R"(zphost csv [options] [--wide] [-o FILE] PROGID FILE [SIGNAL...]

Imports FILE and writes the samples of the signals named (all when none is)
as comma-separated rows signal,index,time,value (RFC 4180, with a header
row). With --wide, signals that share one time axis become columns:
time,SIGNAL1,SIGNAL2,... -o writes to FILE instead of the standard output.
A signal whose values the data space does not hold is named in a warning and
left out; the others are written.
Takes the options of import and --chunk.

Example:
  zphost csv Pellor.ZPFileImport run42.mdf Speed Torque --wide -o run42.csv
)"},
    {"help", R"(zphost help [COMMAND]

Explains zphost, or one of its commands.

Example:
  zphost help import
)"},
};

struct Options {
  std::string command;
  std::vector<std::string> positionals;
  ImportOptions import;
  std::vector<int> answers;
  std::optional<std::string> registry;
  std::optional<std::string> output;
  ReadOptions read;
  bool json = false, raw = false, wide = false, help = false, all = false;
  std::vector<std::string> given;  // the options used, for the check against the command
};

Failure Usage(const std::string& detail) { return Failure(Exit::Usage, "usage", std::nullopt, detail); }

template <typename T>
T ParseNumber(const std::string& option, const std::string& text) {
  T value{};
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size())
    throw Usage(option + " takes a number, not \"" + text + "\"");
  return value;
}

// The whole content of one of the host's own files.
std::string ReadHostFile(const std::string& step, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure(Exit::FileIo, step, std::nullopt, path + ": " + std::strerror(errno));
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<uint8_t> ParameterBlock(const std::string& path) {
  const std::string bytes = ReadHostFile("parameters", path);
  if (bytes.size() < 4)
    throw Failure(Exit::Usage, "parameters", std::nullopt, path + " holds fewer than the 4 bytes of a size word");
  uint32_t size = 0;
  std::memcpy(&size, bytes.data(), 4);
  // The module copies as many bytes as the size word says: they must be there.
  if (size > bytes.size())
    throw Failure(Exit::Usage, "parameters", std::nullopt,
                  path + ": its size word " + std::to_string(size) + " exceeds its " +
                      std::to_string(bytes.size()) + " bytes");
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

Options Parse(const std::vector<std::string>& args) {
  Options o;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
      inlineValue = arg.substr(arg.find('=') + 1);
      arg = arg.substr(0, arg.find('='));
    }
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw Usage(arg + " needs a value");
      return args[++i];
    };
    auto flag = [&](bool& target) {
      if (inlineValue) throw Usage(arg + " takes no value");
      target = true;
    };
    if (arg == "--" ) {
      for (++i; i < args.size(); ++i) o.positionals.push_back(args[i]);
      break;
    }
    if (arg.size() > 1 && arg[0] == '-') o.given.push_back(arg);
    if (arg == "--help" || arg == "-h") {
      flag(o.help);
    } else if (arg == "--gui") {
      bool gui = false;
      flag(gui);  // drawn by the program that installed its backend
    } else if (arg == "--json") {
      flag(o.json);
    } else if (arg == "--raw") {
      flag(o.raw);
    } else if (arg == "--ex") {
      flag(o.read.readEx);
    } else if (arg == "--wide") {
      flag(o.wide);
    } else if (arg == "--all") {
      flag(o.all);
    } else if (arg == "--user") {
      o.import.user = value();
    } else if (arg == "--var") {
      const std::string v = value();
      const size_t eq = v.find('=');
      if (eq == std::string::npos || eq == 0) throw Usage("--var takes NAME=VALUE, not \"" + v + "\"");
      o.import.variables.emplace_back(v.substr(0, eq), v.substr(eq + 1));
    } else if (arg == "--zp-version") {
      o.import.zpVersion = ParseNumber<int32_t>(arg, value());
    } else if (arg == "--parameters") {
      o.import.parameters = ParameterBlock(value());
    } else if (arg == "--answer") {
      const std::string word = value();
      const int answer = AnswerOf(word);
      if (!answer) throw Usage("--answer takes ok, yes, no or cancel, not \"" + word + "\"");
      o.answers.push_back(answer);
    } else if (arg == "--registry") {
      o.registry = value();
    } else if (arg == "--chunk") {
      o.read.chunk = ParseNumber<uint32_t>(arg, value());
      if (o.read.chunk == 0) throw Usage("--chunk must be at least 1");
    } else if (arg == "-o" || arg == "--output") {
      o.output = value();
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw Usage("unknown option " + arg);
    } else if (o.command.empty()) {
      o.command = arg;
    } else {
      o.positionals.push_back(arg);
    }
  }
  return o;
}

// Options each command takes beyond --help, --gui and --registry.
const std::map<std::string, std::vector<std::string>> kCommandOptions = {
    {"register", {"--all"}},
    {"unregister", {}},
    {"version", {}},
    {"help", {}},
    {"valid", {"--zp-version", "--var", "--parameters", "--answer"}},
    {"import", {"--user", "--var", "--zp-version", "--parameters", "--answer"}},
    {"list", {"--user", "--var", "--zp-version", "--parameters", "--answer", "--json"}},
    {"read", {"--user", "--var", "--zp-version", "--parameters", "--answer", "--raw", "--ex", "--chunk"}},
    {"csv", {"--user", "--var", "--zp-version", "--parameters", "--answer", "--ex", "--chunk", "--wide", "-o",
             "--output"}},
};

void CheckCommand(const Options& o) {
  const auto it = kCommandOptions.find(o.command);
  if (it == kCommandOptions.end()) throw Usage("unknown command \"" + o.command + "\"");
  for (const std::string& given : o.given) {
    if (given == "--help" || given == "-h" || given == "--gui" || given == "--registry") continue;
    if (std::find(it->second.begin(), it->second.end(), given) == it->second.end())
      throw Usage(o.command + " does not take " + given);
  }
  size_t least = 0, most = 0;
  if (o.command == "register" || o.command == "unregister" || o.command == "version") least = most = 1;
  if (o.command == "register" && o.all) least = most = 0;
  if (o.command == "valid" || o.command == "import" || o.command == "list") least = most = 2;
  if (o.command == "read") least = most = 3;
  if (o.command == "csv") least = 2, most = SIZE_MAX;
  if (o.command == "help") least = 0, most = 1;
  if (o.positionals.size() < least || o.positionals.size() > most)
    throw Usage(o.command + " takes " +
                (least == most ? std::to_string(least) : std::to_string(least) + " or more") + " argument" +
                (most == 1 ? "" : "s") + ", not " + std::to_string(o.positionals.size()));
}

// The file to import must be a readable regular file.
void CheckInput(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0)
    throw Failure(Exit::FileIo, "open", std::nullopt, path + ": " + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) throw Failure(Exit::FileIo, "open", std::nullopt, path + ": not a regular file");
  if (access(path.c_str(), R_OK) != 0)
    throw Failure(Exit::FileIo, "open", std::nullopt, path + ": " + std::strerror(errno));
}

std::string TextValue(const Value& v) { return JsonValue(v); }

void PrintList(std::ostream& out, const std::string& title, const PropertyList& list) {
  out << title << "\n";
  for (const auto& [name, value] : list) out << "  " << name << " = " << TextValue(value) << "\n";
}

void PrintJsonObject(std::ostream& out, const PropertyList& list, const std::string& indent) {
  out << "{";
  for (size_t i = 0; i < list.size(); ++i)
    out << (i ? "," : "") << "\n" << indent << "  " << JsonString(list[i].first) << ": " << JsonValue(list[i].second);
  out << "\n" << indent << "}";
}

void PrintJsonArray(std::ostream& out, const std::vector<PropertyList>& lists) {
  out << "[";
  for (size_t i = 0; i < lists.size(); ++i) {
    out << (i ? "," : "") << "\n    ";
    PrintJsonObject(out, lists[i], "    ");
  }
  out << (lists.empty() ? "]" : "\n  ]");
}

std::string IsoDate(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  tm utc{};
  if (!gmtime_r(&t, &utc)) return "?";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
  return text;
}

std::string Optional(const std::optional<double>& v) { return v ? FormatNumber(*v) : std::string(); }

class Runner {
 public:
  Runner(Options options, std::ostream& out, std::ostream& err, const CliEnvironment& env)
      : o_(std::move(options)), out_(out), err_(err), env_(env) {}

  int Run() {
    if (o_.command == "help" || o_.command.empty() || o_.help) return Help();
    CheckCommand(o_);
    if (o_.command == "register" && o_.all) return RegisterAll();
    if (o_.command == "register" || o_.command == "unregister") {
      RegisterModule(o_.positionals[0], o_.command == "unregister");
      out_ << o_.command << "ed " << o_.positionals[0] << "\n";
      return 0;
    }
    if (o_.command == "version") return Version();
    std::unique_ptr<AnsweringBackend> backend;
    std::unique_ptr<BackendScope> scope;
    if (!env_.gui) {
      backend = std::make_unique<AnsweringBackend>(o_.answers, &err_, env_.stderrIsTerminal ? &err_ : nullptr);
      scope = std::make_unique<BackendScope>(backend.get());
    }
    const std::string& file = o_.positionals[1];
    CheckInput(file);
    Session session(o_.positionals[0]);
    for (const std::string& note : session.Configure(o_.import)) err_ << "zphost: note: " << note << "\n";
    if (o_.command == "valid") return Valid(session, file);
    session.Import(file, o_.import.user);
    if (o_.command == "import") return Import(session, file);
    if (o_.command == "list") return List(session, file, backend ? &backend->Boxes() : nullptr);
    if (o_.command == "read") return Read(session);
    return Csv(session);
  }

 private:
  int Help() {
    // "zphost COMMAND --help" and "zphost help COMMAND" explain COMMAND.
    std::string topic = o_.help ? o_.command : "";
    if (!o_.help && o_.command == "help" && !o_.positionals.empty()) topic = o_.positionals[0];
    if (topic.empty()) {
      out_ << kOverview;
      return 0;
    }
    const auto it = kCommandHelp.find(topic);
    if (it == kCommandHelp.end()) throw Usage("unknown command \"" + topic + "\"");
    out_ << it->second;
    return 0;
  }

  // Each installed module in name order; one that fails is reported and the others still registered.
  int RegisterAll() {
    if (env_.moduleFolder.empty())
      throw Failure(Exit::Activation, "register", std::nullopt, "this zphost knows no folder of installed modules");
    int code = 0;
    for (const std::string& module : ModulesIn(env_.moduleFolder)) {
      try {
        RegisterModule(module, false);
        out_ << "registered " << module << "\n";
      } catch (const Failure& f) {
        err_ << "zphost: " << f.what() << "\n";
        if (code == 0) code = static_cast<int>(f.exit);
      }
    }
    return code;
  }

  int Version() {
    const std::string file = ModuleFile(o_.positionals[0]);
    const std::optional<ModuleVersion> v = VersionOf(file);
    out_ << "module: " << file << "\n";
    if (!v) {
      out_ << "no version information\n";
      return 0;
    }
    char language[32];
    std::snprintf(language, sizeof language, "0x%04X, code page %u", v->language, v->codePage);
    out_ << "file version: " << v->fileVersion << "\n"
         << "product version: " << v->productVersion << "\n"
         << "language: " << language << "\n";
    for (const auto& [name, value] : v->strings) out_ << name << ": " << value << "\n";
    return 0;
  }

  int Valid(Session& session, const std::string& file) {
    const int64_t valid = session.IsValid(file);
    out_ << valid << "\n";
    if (valid == 1) return 0;
    throw Failure(Exit::Module, "valid", std::nullopt, file + " is not a file of " + o_.positionals[0] + " (IsValid " +
                                                           std::to_string(valid) + ")");
  }

  int Import(Session& session, const std::string& file) {
    const PropertyList props = session.FileProperties(file);
    out_ << "file: " << file << "\n";
    if (const Value* n = Find(props, "nSignals")) out_ << "signals: " << TextValue(*n) << "\n";
    if (const Value* n = Find(props, "nScalars")) out_ << "scalars: " << TextValue(*n) << "\n";
    out_ << "comments: " << session.Comments().size() << "\n";
    if (const Value* n = Find(props, "DataSize")) out_ << "DataSize: " << TextValue(*n) << "\n";
    if (const Value* n = Find(props, "FileDate")) {
      out_ << "FileDate: " << TextValue(*n);
      if (const auto* seconds = std::get_if<int64_t>(n)) out_ << " (" << IsoDate(*seconds) << ")";
      out_ << "\n";
    }
    out_ << "ERRNO: " << session.Variable("ERRNO").value_or("") << "\n";
    out_ << "ERRMSG: " << session.Variable("ERRMSG").value_or("") << "\n";
    return 0;
  }

  // `boxes`: the boxes and dialogs the module showed, as answered; none when
  // they were shown as windows.
  int List(Session& session, const std::string& file, const std::vector<BoxRecord>* boxes) {
    const PropertyList props = session.FileProperties(file);
    const std::vector<PropertyList>& signals = session.Signals();
    const std::vector<PropertyList> scalars = session.Scalars();
    const std::vector<Comment> comments = session.Comments();
    PropertyList variables;
    for (const char* name : {"ERRNO", "ERRMSG"}) {
      const std::optional<std::string> v = session.Variable(name);
      variables.emplace_back(name, v ? Value(*v) : Value());
    }
    if (!o_.json) {
      PrintList(out_, "file", props);
      for (size_t i = 0; i < signals.size(); ++i) PrintList(out_, "signal " + std::to_string(i + 1), signals[i]);
      for (size_t i = 0; i < scalars.size(); ++i) PrintList(out_, "scalar " + std::to_string(i + 1), scalars[i]);
      for (const Comment& c : comments)
        out_ << "comment " << c.index << " " << (c.name ? JsonString(*c.name) : "null") << " = " << JsonString(c.text)
             << "\n";
      PrintList(out_, "variables", variables);
      if (boxes)
        for (size_t i = 0; i < boxes->size(); ++i) {
          const BoxRecord& b = (*boxes)[i];
          out_ << (b.dialog ? "dialog " : "box ") << i + 1 << " " << JsonString(b.caption);
          if (!b.dialog) out_ << " = " << JsonString(b.text);
          out_ << " -> " << ButtonName(b.answer) << "\n";
        }
      return 0;
    }
    out_ << "{\n  \"file\": ";
    PrintJsonObject(out_, props, "  ");
    out_ << ",\n  \"signals\": ";
    PrintJsonArray(out_, signals);
    out_ << ",\n  \"scalars\": ";
    PrintJsonArray(out_, scalars);
    out_ << ",\n  \"comments\": [";
    for (size_t i = 0; i < comments.size(); ++i)
      out_ << (i ? "," : "") << "\n    {\"index\": " << comments[i].index
           << ", \"name\": " << (comments[i].name ? JsonString(*comments[i].name) : "null")
           << ", \"text\": " << JsonString(comments[i].text) << "}";
    out_ << (comments.empty() ? "]" : "\n  ]");
    out_ << ",\n  \"variables\": ";
    PrintJsonObject(out_, variables, "  ");
    if (boxes) {
      out_ << ",\n  \"boxes\": [";
      for (size_t i = 0; i < boxes->size(); ++i) {
        const BoxRecord& b = (*boxes)[i];
        out_ << (i ? "," : "") << "\n    {\"kind\": " << (b.dialog ? "\"dialog\"" : "\"box\"")
             << ", \"caption\": " << JsonString(b.caption);
        if (!b.dialog) out_ << ", \"text\": " << JsonString(b.text);
        out_ << ", \"answer\": " << JsonString(ButtonName(b.answer)) << "}";
      }
      out_ << (boxes->empty() ? "]" : "\n  ]");
    }
    out_ << "\n}\n";
    return 0;
  }

  std::unique_ptr<Series> Open(Session& session, size_t index) {
    std::string note;
    std::unique_ptr<Series> series = session.OpenSeries(index, o_.read, &note);
    if (!note.empty()) err_ << "zphost: note: " << note << "\n";
    return series;
  }

  int Read(Session& session) {
    const size_t index = session.SignalIndex(o_.positionals[2]);
    Session::ReadScope reading(session);
    std::unique_ptr<Series> series = Open(session, index);
    Point p;
    if (o_.raw) {
      while (series->Next(p)) out_.write(reinterpret_cast<const char*>(p.bytes.data()), p.bytes.size());
      return 0;
    }
    out_ << "index\ttime\tvalue\n";
    while (series->Next(p)) out_ << p.index << "\t" << Optional(p.time) << "\t" << Optional(p.value) << "\n";
    return 0;
  }

  int Csv(Session& session) {
    std::vector<size_t> indices;
    for (size_t i = 2; i < o_.positionals.size(); ++i) indices.push_back(session.SignalIndex(o_.positionals[i]));
    if (o_.positionals.size() == 2)
      for (size_t i = 0; i < session.Signals().size(); ++i) indices.push_back(i);
    std::ofstream file;
    std::ostream* out = &out_;
    if (o_.output) {
      file.open(*o_.output, std::ios::binary | std::ios::trunc);
      if (!file) throw Failure(Exit::FileIo, "output", std::nullopt, *o_.output + ": " + std::strerror(errno));
      out = &file;
    }
    Session::ReadScope reading(session);
    // A signal whose values the data space does not hold is named and left out; the others are written.
    auto open = [&](size_t index) -> std::unique_ptr<Series> {
      try {
        return Open(session, index);
      } catch (const NoData& e) {
        err_ << "zphost: warning: " << e.detail << "; left out of the export\n";
        return nullptr;
      }
    };
    if (o_.wide) {
      // Side by side: every series is read at once.
      std::vector<size_t> kept;
      std::vector<std::unique_ptr<Series>> series;
      for (size_t index : indices)
        if (std::unique_ptr<Series> s = open(index)) {
          series.push_back(std::move(s));
          kept.push_back(index);
        }
      CheckSharedAxis(session, kept);
      *out << "time";
      for (const std::unique_ptr<Series>& s : series) *out << "," << CsvField(s->layout().name);
      *out << "\r\n";
      for (bool more = !series.empty(); more;) {
        std::string row;
        for (size_t s = 0; s < series.size(); ++s) {
          Point p;
          more = series[s]->Next(p);
          if (!more) break;
          if (s == 0) row = Optional(p.time);
          row += ',';
          row += Optional(p.value);
        }
        if (more) *out << row << "\r\n";
      }
    } else {
      // One after the other: a series is read and let go before the next opens.
      *out << "signal,index,time,value\r\n";
      for (size_t index : indices) {
        const std::unique_ptr<Series> s = open(index);
        if (!s) continue;
        const std::string name = CsvField(s->layout().name);
        Point p;
        while (s->Next(p))
          *out << name << "," << p.index << "," << Optional(p.time) << "," << Optional(p.value) << "\r\n";
      }
    }
    if (o_.output) {
      file.close();
      if (!file) throw Failure(Exit::FileIo, "output", std::nullopt, *o_.output + ": cannot be written");
    }
    return 0;
  }

  // --wide needs one time axis: the same count and time signal, or the same
  // equidistant axis.
  void CheckSharedAxis(Session& session, const std::vector<size_t>& indices) {
    const std::vector<PropertyList>& signals = session.Signals();
    auto axis = [&](size_t i) {
      const PropertyList& s = signals[i];
      std::string x = TextOf(s, "XSignal");
      if (x.empty() && NumberOf(s, "STyp") == 6) x = TextOf(s, "Name");  // a time signal is its own axis
      std::string text = FormatNumber(NumberOf(s, "NoOfValues")) + " values over ";
      return x.empty() ? text + "XOffset " + FormatNumber(NumberOf(s, "XOffset")) + ", XFactor " +
                             FormatNumber(NumberOf(s, "XFactor"))
                       : text + "\"" + x + "\"";
    };
    for (size_t i : indices)
      if (axis(i) != axis(indices.front()))
        throw Failure(Exit::Usage, "csv", std::nullopt,
                      "--wide needs one time axis, but \"" + TextOf(signals[indices.front()], "Name") + "\" has " +
                          axis(indices.front()) + " and \"" + TextOf(signals[i], "Name") + "\" " + axis(i));
  }

  Options o_;
  std::ostream& out_;
  std::ostream& err_;
  const CliEnvironment& env_;
};

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliEnvironment& env) {
  try {
    Options options = Parse(args);
    if (options.registry) winport::SetRegistryPath(*options.registry);
    return Runner(std::move(options), out, err, env).Run();
  } catch (const Failure& f) {
    err << "zphost: " << f.what();
    if (f.exit == Exit::Usage && f.step == "usage") err << " (see zphost --help)";
    err << "\n";
    return static_cast<int>(f.exit);
  } catch (const CallError& e) {
    err << "zphost: " << e.member << ": " << winport::DescribeHResult(e.hr) << ": " << e.description << "\n";
    return static_cast<int>(Exit::Module);
  } catch (const std::exception& e) {
    err << "zphost: internal error: " << e.what() << "\n";
    return static_cast<int>(Exit::Module);
  }
}

}  // namespace host
