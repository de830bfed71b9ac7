#!/usr/bin/env bash
# Prints the Windows architecture that the tests can run under Wine on this machine: i686 where
# the kernel executes 32-bit programs (32-bit Wine works), else x86_64 (64-bit Wine only).
# PELORA_TEST_ARCH overrides the probe.
if [ -n "${PELORA_TEST_ARCH:-}" ]; then echo "$PELORA_TEST_ARCH"; exit 0; fi
if [ -x /lib/ld-linux.so.2 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo i686
else
  echo x86_64
fi
