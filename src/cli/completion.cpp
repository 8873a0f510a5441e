#include "cli/completion.h"

#include <algorithm>
#include <sstream>

#include "cli/link_options.h"
#include "protocol/command_catalogue.h"

namespace veltra::cli {
namespace {

// Options whose value is a file name, by their long names.
constexpr const char* kFileOptions[] = {"scene-db", "capture", "output"};
const std::vector<std::string> kShells{"bash", "zsh", "fish"};

std::vector<std::string> Names(const CLI::Option& o) {
  std::vector<std::string> names;
  for (const std::string& l : o.get_lnames()) names.push_back("--" + l);
  for (const std::string& s : o.get_snames()) names.push_back("-" + s);
  return names;
}

void AddOnce(std::vector<std::string>& list, const std::string& item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

std::vector<std::string> Words(const std::string& path) {
  std::vector<std::string> words;
  std::istringstream in(path);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

void Walk(const CLI::App& app, const std::string& path, CompletionTree& tree) {
  const bool top = path.empty();
  const RequestSpec* spec = top ? nullptr : FindRequest(Words(path));
  for (const CLI::Option* o : app.get_options()) {
    if (!o->nonpositional()) {
      if (o->get_name() == "FILE") AddOnce(tree.filePaths, path);
      continue;
    }
    for (const std::string& name : Names(*o)) {
      AddOnce(top ? tree.globalOptions : tree.options[path], name);
      if (o->get_items_expected_max() == 0) continue;  // a flag
      AddOnce(tree.valueOptions, name);
      for (const char* file : kFileOptions)
        if (name == std::string("--") + file || (name == "-o" && std::string(file) == "output"))
          AddOnce(tree.fileOptions, name);
      if (spec && spec->HasField(name)) {
        const FieldSpec& f = spec->Field(name);
        const auto& words = !f.choices.empty() ? f.choices : f.valueNames;
        if (!words.empty()) tree.values[path + " " + name] = std::vector<std::string>(words.begin(), words.end());
      }
    }
  }
  if (top) {
    tree.values["--parity"] = kParityWords;
    tree.values["--stop-bits"] = kStopBitWords;
  }
  if (path == "completion") tree.values["completion"] = kShells;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    const std::string next = top ? sub->get_name() : path + " " + sub->get_name();
    tree.commands[path].push_back(sub->get_name());
    tree.help[next] = sub->get_description();
    Walk(*sub, next, tree);
  }
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
  return text;
}

// In single quotes for bash and zsh.
std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// In single quotes for fish, which escapes with a backslash inside them.
std::string FishQuoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

// The tables the bash and zsh functions look things up in; the top level
// is the key ".". bash fills an associative array from [key]=value, zsh
// from key value pairs.
std::string Tables(const CompletionTree& t, bool bash) {
  std::ostringstream out;
  auto entry = [bash](const std::string& key, const std::string& value) {
    return bash ? "  [" + Quoted(key) + "]=" + Quoted(value) + "\n" : "  " + Quoted(key) + " " + Quoted(value) + "\n";
  };
  auto key = [](const std::string& path) { return path.empty() ? std::string(".") : path; };
  const char* declare = bash ? "declare -gA " : "";
  out << declare << "_veltra_cli_commands=(\n";
  for (const auto& [path, commands] : t.commands) out << entry(key(path), Joined(commands));
  out << ")\n" << declare << "_veltra_cli_options=(\n";
  for (const auto& [path, options] : t.options) out << entry(key(path), Joined(options));
  out << ")\n" << declare << "_veltra_cli_values=(\n";
  for (const auto& [name, values] : t.values) out << entry(name, Joined(values));
  out << ")\n";
  out << "_veltra_cli_global=" << Quoted(Joined(t.globalOptions)) << "\n";
  out << "_veltra_cli_takes=" << Quoted(" " + Joined(t.valueOptions) + " ") << "\n";
  out << "_veltra_cli_files=" << Quoted(" " + Joined(t.fileOptions) + " ") << "\n";
  std::string paths = "|";
  for (const std::string& p : t.filePaths) paths += p + "|";
  out << "_veltra_cli_file_paths=" << Quoted(paths) << "\n";
  return out.str();
}

std::string Bash(const CompletionTree& t) {
  std::string s =
      "# bash completion for veltra-cli, made by \"veltra-cli completion bash\" from its commands.\n";
  s += Tables(t, true);
  s += R"(
_veltra_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev= path= word i key values
  (( COMP_CWORD > 0 )) && prev=${COMP_WORDS[COMP_CWORD-1]}
  # The commands given so far, past the options and their values.
  for (( i = 1; i < COMP_CWORD; i++ )); do
    word=${COMP_WORDS[i]}
    if [[ $word == -* ]]; then
      [[ $word != *=* && $_veltra_cli_takes == *" $word "* ]] && (( i++ ))
      continue
    fi
    key=${path:-.}
    [[ " ${_veltra_cli_commands[$key]} " == *" $word "* ]] && path=${path:+$path }$word
  done
  key=${path:-.}
  COMPREPLY=()
  if [[ $prev == -* && $_veltra_cli_takes == *" $prev "* ]]; then
    values=${_veltra_cli_values["$path $prev"]:-${_veltra_cli_values[$prev]}}
    if [[ -n $values ]]; then
      COMPREPLY=($(compgen -W "$values" -- "$cur"))
    elif [[ $_veltra_cli_files == *" $prev "* ]]; then
      COMPREPLY=($(compgen -f -- "$cur"))
    fi
    return 0
  fi
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "${_veltra_cli_options[$key]} $_veltra_cli_global" -- "$cur"))
  elif [[ -n ${_veltra_cli_commands[$key]} ]]; then
    COMPREPLY=($(compgen -W "${_veltra_cli_commands[$key]}" -- "$cur"))
  elif [[ -n $path && -n ${_veltra_cli_values[$path]} ]]; then
    COMPREPLY=($(compgen -W "${_veltra_cli_values[$path]}" -- "$cur"))
  elif [[ $_veltra_cli_file_paths == *"|$path|"* ]]; then
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
  return 0
}
complete -F _veltra_cli veltra-cli
)";
  return s;
}

std::string Zsh(const CompletionTree& t) {
  std::string s = "#compdef veltra-cli\n"
                  "# zsh completion for veltra-cli, made by \"veltra-cli completion zsh\" from its commands.\n";
  s += "typeset -gA _veltra_cli_commands _veltra_cli_options _veltra_cli_values\n";
  s += Tables(t, false);
  s += R"(
_veltra_cli() {
  local cur=${words[CURRENT]} prev=${words[CURRENT-1]} path= word i key pair values
  # The commands given so far, past the options and their values.
  for (( i = 2; i < CURRENT; i++ )); do
    word=${words[i]}
    if [[ $word == -* ]]; then
      [[ $word != *=* && $_veltra_cli_takes == *" $word "* ]] && (( i++ ))
      continue
    fi
    key=${path:-.}
    [[ " ${_veltra_cli_commands[$key]} " == *" $word "* ]] && path=${path:+$path }$word
  done
  key=${path:-.}
  if [[ $prev == -* && $_veltra_cli_takes == *" $prev "* ]]; then
    pair="$path $prev"
    values=${_veltra_cli_values[$pair]:-${_veltra_cli_values[$prev]}}
    if [[ -n $values ]]; then
      compadd -- ${=values}
    elif [[ $_veltra_cli_files == *" $prev "* ]]; then
      _files
    fi
    return
  fi
  if [[ $cur == -* ]]; then
    compadd -- ${=_veltra_cli_options[$key]} ${=_veltra_cli_global}
  elif [[ -n ${_veltra_cli_commands[$key]} ]]; then
    compadd -- ${=_veltra_cli_commands[$key]}
  elif [[ -n $path && -n ${_veltra_cli_values[$path]} ]]; then
    compadd -- ${=_veltra_cli_values[$path]}
  elif [[ $_veltra_cli_file_paths == *"|$path|"* ]]; then
    _files
  fi
}
_veltra_cli "$@"
)";
  return s;
}

std::string Fish(const CompletionTree& t) {
  std::ostringstream out;
  out << "# fish completion for veltra-cli, made by \"veltra-cli completion fish\" from its commands.\n";
  out << "function __veltra_cli_commands_at\n    switch \"$argv[1]\"\n";
  for (const auto& [path, commands] : t.commands)
    out << "        case " << FishQuoted(path) << "\n            echo " << Joined(commands) << "\n";
  out << "    end\nend\n";
  out << "set -g __veltra_cli_takes " << Joined(t.valueOptions) << "\n";
  out << R"(
# The commands given so far, past the options and their values.
function __veltra_cli_path
    set -l words (commandline -opc)
    set -e words[1]
    set -l path ''
    set -l skip 0
    for word in $words
        if test $skip = 1
            set skip 0
            continue
        end
        if string match -q -- '-*' $word
            if not string match -q -- '*=*' $word; and contains -- $word $__veltra_cli_takes
                set skip 1
            end
            continue
        end
        if contains -- $word (string split ' ' -- (__veltra_cli_commands_at "$path"))
            set path (string trim -- "$path $word")
        end
    end
    echo $path
end

function __veltra_cli_at
    set -l path (__veltra_cli_path)
    test "$path" = "$argv[1]"
end

complete -c veltra-cli -f
)";
  auto condition = [](const std::string& path) { return "-n " + FishQuoted("__veltra_cli_at " + FishQuoted(path)); };
  for (const auto& [path, commands] : t.commands)
    for (const std::string& c : commands) {
      const std::string next = path.empty() ? c : path + " " + c;
      out << "complete -c veltra-cli " << condition(path) << " -a " << FishQuoted(c) << " -d "
          << FishQuoted(t.help.count(next) ? t.help.at(next) : std::string()) << "\n";
    }
  auto option = [&](const std::string& name, const std::string& path, bool global) {
    std::string line = "complete -c veltra-cli";
    if (!global) line += " " + condition(path);
    line += name.rfind("--", 0) == 0 ? " -l " + name.substr(2) : " -s " + name.substr(1);
    const bool takes = std::find(t.valueOptions.begin(), t.valueOptions.end(), name) != t.valueOptions.end();
    const bool file = std::find(t.fileOptions.begin(), t.fileOptions.end(), name) != t.fileOptions.end();
    const auto values = t.values.count(path + " " + name) ? t.values.find(path + " " + name) : t.values.find(name);
    if (values != t.values.end() && takes)
      line += " -x -a " + FishQuoted(Joined(values->second));
    else if (file)
      line += " -r -F";
    else if (takes)
      line += " -x";
    out << line << "\n";
  };
  for (const std::string& name : t.globalOptions) option(name, "", true);
  for (const auto& [path, names] : t.options)
    for (const std::string& name : names) option(name, path, false);
  for (const std::string& path : t.filePaths) out << "complete -c veltra-cli " << condition(path) << " -F\n";
  for (const auto& [key, values] : t.values)
    if (key.rfind("-", 0) != 0 && key.find(" -") == std::string::npos)
      out << "complete -c veltra-cli " << condition(key) << " -a " << FishQuoted(Joined(values)) << "\n";
  return out.str();
}

}  // namespace

CompletionTree TreeOf(const CLI::App& app) {
  CompletionTree tree;
  Walk(app, "", tree);
  return tree;
}

std::string CompletionScript(const CLI::App& app, const std::string& shell) {
  const CompletionTree tree = TreeOf(app);
  if (shell == "zsh") return Zsh(tree);
  if (shell == "fish") return Fish(tree);
  return Bash(tree);
}

}  // namespace veltra::cli
