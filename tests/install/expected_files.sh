# Sourced by the installation and package checks.
# expected_files PROGRAM...: every file an installation must hold, relative to
# its prefix.
expected_files() {
  local id=org.veltra.Veltra program size
  for program in "$@"; do
    echo "bin/$program"
    echo "share/man/man1/$program.1.gz"
    if [ "$program" = veltra-cli ]; then
      echo "share/bash-completion/completions/veltra-cli"
      echo "share/zsh/vendor-completions/_veltra-cli"
      echo "share/fish/vendor_completions.d/veltra-cli.fish"
    fi
  done
  echo "share/applications/$id.desktop"
  echo "share/metainfo/$id.metainfo.xml"
  echo "share/icons/hicolor/scalable/apps/$id.svg"
  for size in 16 24 32 48 64 128 256; do
    echo "share/icons/hicolor/${size}x${size}/apps/$id.png"
  done
  echo "share/veltra/schema.sql"
  echo "share/veltra/Veltra.mdb"
  echo "share/veltra/wireshark/veltra.lua"
  echo "share/doc/veltra/copyright"
  echo "share/doc/veltra/changelog.gz"
  echo "share/doc/veltra/examples/site-plan.toml"
  for program in "$@"; do
    [ "$program" = veltra-bridge ] && echo "lib/systemd/system/veltra-bridge.service"
  done
  return 0
}
# expected_config_files PROGRAM...: the configuration files, relative to the
# system's root in the package (/etc) and to the prefix in any other
# installation (etc/).
expected_config_files() {
  local program
  for program in "$@"; do
    [ "$program" = veltra-bridge ] && echo "etc/veltra/bridge.toml"
  done
  return 0
}
