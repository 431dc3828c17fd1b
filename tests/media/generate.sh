#!/usr/bin/env bash
set -euo pipefail
mkdir -p "$1"
