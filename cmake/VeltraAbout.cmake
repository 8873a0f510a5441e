# Who Veltra is and under which terms it is handed out. The About box, the
# desktop entry, the AppStream metainfo, the man pages and the Debian package
# all take these values from here, so a change of licence or maintainer is one
# edit in this file.
set(VELTRA_APP_ID "org.veltra.Veltra")  # desktop entry, icon and metainfo name
# Sizes of the PNG icons in data/icons (the window's icon, older desktops).
set(VELTRA_ICON_SIZES 16 24 32 48 64 128 256)
set(VELTRA_SUMMARY "Commissioning console for home-automation field bus modules")
# The package's long description, in lines of at most 80 characters.
set(VELTRA_DESCRIPTION "\
Veltra gives the modules of a home-automation field bus their addresses,
switches and times their outputs, programs scenes, infrared codes and input
bindings, and configures the bus switch, over a serial line (RS-485 adapter)
or over UDP through the bus switch. A simulated bus lets it be tried without
hardware.")

set(VELTRA_COPYRIGHT_YEARS "2026")
set(VELTRA_COPYRIGHT_HOLDER "the Veltra developers")
set(VELTRA_LICENSE_TERMS "All rights reserved.")
# Name of the licence in the package's copyright file and the metainfo.
set(VELTRA_LICENSE_NAME "proprietary")
set(VELTRA_LICENSE_SPDX "LicenseRef-proprietary")
set(VELTRA_COPYRIGHT_NOTICE
    "Copyright ${VELTRA_COPYRIGHT_YEARS} ${VELTRA_COPYRIGHT_HOLDER}. ${VELTRA_LICENSE_TERMS}")

set(VELTRA_DEVELOPER_NAME "The Veltra developers")
set(VELTRA_MAINTAINER "Veltra developers <developers@veltra.invalid>")
# Where the project publishes data/screenshots/main-window.png; the metainfo
# points software centres there.
set(VELTRA_SCREENSHOT_URL "https://veltra.invalid/screenshots/main-window.png")
# Date of this version's release entry in the metainfo (YYYY-MM-DD).
set(VELTRA_RELEASE_DATE "2026-12-09")
