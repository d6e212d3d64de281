#!/usr/bin/env bash
# Generates the ja_JP.UTF-8 locale when it is missing (for Wine's cmd).
set -euo pipefail
locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
$sudo locale-gen >/dev/null
