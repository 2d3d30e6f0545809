# The Debian package, built with `cpack -G DEB` or the `package` target.
set(ANEMO_PACKAGE_MAINTAINER "K&V ANEMÔMETROS <anemometros@kv.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(package_patch "${PROJECT_VERSION_PATCH}")
if(package_patch STREQUAL "")
    set(package_patch 0)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME anemometros)
set(CPACK_PACKAGE_VENDOR "K&V")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${package_patch}")
set(CPACK_PACKAGE_CONTACT "${ANEMO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "monitoring station for Modbus RTU anemometers (K&V ANEMÔMETROS)")
set(CPACK_PACKAGE_DESCRIPTION [[
K&V ANEMÔMETROS is the Modbus RTU master of a bus of up to eight wind-sensor
stations on one serial port. It polls the stations in turn, shows each
station's wind speed, direction, alarm presets, battery, sound-alarm and RF
state, and writes a daily log file per station. The program speaks Portuguese.

Estação de monitoramento de até oito anemômetros em um barramento Modbus RTU:
velocidade e direção do vento, alarmes, bateria e registro diário por estação.

The package also holds anemosim, a simulated bus of anemometer stations on a
pseudo-terminal, for demonstrations and training without hardware.]])

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Qt's libraries, with the xcb and offscreen platform plugins and the ICO reader that ship
# inside libqt6gui6, and libjpeg, come from dpkg-shlibdeps; the list below is what it cannot
# see: fonts for the widgets, and Qt's own texts (file dialogs, edit menus) in Portuguese. The
# alarm horn plays through Qt Multimedia's own PulseAudio output, which needs libpulse0 and none
# of the GStreamer or FFmpeg media plugins; it is named here as well, so that the horn's library
# is there however its module is linked. The notifications open libcurl (its OpenSSL flavour)
# only when e-mail or a webhook is set, and the MQTT connection opens libmosquitto only when a
# broker is set, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core | fonts-liberation, qt6-translations-l10n, \
libqt6multimedia6, libcurl4, libmosquitto1")
# xdg-open opens the manual, the log files and the web site outside a full desktop; the
# wayland plugin spares Wayland sessions the XWayland detour; the horn needs a sound server
# (PipeWire's PulseAudio service on current desktops).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-wayland, pipewire-pulse | pulseaudio")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pdf-viewer")
# The udev rule applied to the adapters already plugged in.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_LIST_DIR}/postinst")

# `package_source`: the sources alone, without builds or history.
set(CPACK_SOURCE_GENERATOR TXZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/build[^/]*/")

include(CPack)
