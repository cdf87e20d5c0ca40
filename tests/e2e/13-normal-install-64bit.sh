#!/usr/bin/env bash
# The normal installation again on a 64-bit Windows: the 32-bit setup program sees
# "Program Files (x86)", and its machine-wide keys land under Wow6432Node.
source "$(dirname "$0")/lib/harness.sh"
e2e_needs_32bit
export WINEARCH=win64
exec bash "$(dirname "$0")/01-normal-install.sh"
