#!/usr/bin/env bash
# Exits 0 when this machine executes 32-bit x86 programs, 1 when it does not: some kernels
# have IA-32 emulation off, and there Wine's 32-bit side cannot run at all. Found out by
# executing a tiny 32-bit program (a static i386 ELF that only calls exit(0)), never from
# names or uname. GLOW_NO_32BIT=1 answers no on any machine, to try that path where 32-bit
# programs do run.
set -u
[ -n "${GLOW_NO_32BIT:-}" ] && [ "${GLOW_NO_32BIT}" != 0 ] && exit 1
[ "$(uname -m)" = x86_64 ] || [ "$(uname -m)" = i686 ] || exit 1  # no x86 code at all

probe=$(mktemp "${TMPDIR:-/tmp}/glow-i386-XXXXXX") || exit 1
trap 'rm -f "$probe"' EXIT
# ELF header (52 bytes), one PT_LOAD program header (32 bytes) mapping the file at 0x8048000,
# then the code at 0x8048054: mov eax, 1; xor ebx, ebx; int 0x80.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'\
'\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000'\
'\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000'\
'\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010'\
'\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000'\
'\270\001\000\000\000\061\333\315\200' >"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
