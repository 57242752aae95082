#!/bin/sh
# Builds ntfs-recycle.img.zst: a small NTFS volume (mkntfs, written through
# ntfs-3g) whose hidden system folder $RECYCLE.BIN holds one user's $I/$R
# pairs in the version-2 $I format, one $R file without its $I companion, and
# a few ordinary and deleted files. Writes ntfs-recycle.img.fls.txt, the
# listing of `fls -r -p`, beside it. Needs root (FUSE).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
cleanup() { umount "$tmp/mnt" 2>/dev/null || true; rm -rf "$tmp"; }
trap cleanup EXIT
truncate -s 8M "$tmp/v.img"
mkntfs -F -Q -q -L RECYCLE "$tmp/v.img"
mkdir "$tmp/mnt"
ntfs-3g "$tmp/v.img" "$tmp/mnt"
TMPMNT="$tmp/mnt" python3 - <<'PY'
import os, struct
mnt = os.environ["TMPMNT"]
user = os.path.join(mnt, "$RECYCLE.BIN", "S-1-5-21-1004336348-1177238915-682003330-1001")
os.makedirs(user)
def info(path, size):
    name = (path + "\0").encode("utf-16-le")
    return struct.pack("<qqqi", 2, size, 133500000000000000, len(name) // 2) + name
pairs = [("$RAB12CD.txt", "C:\\Users\\u\\Documents\\report.txt", b"quarterly numbers\n" * 300),
         ("$RXY34EF.doc", "D:\\共享\\年度总结.doc", b"\xd0\xcf\x11\xe0" + bytes(range(256)) * 20),
         ("$R0SMALL.ini", "C:\\Users\\u\\AppData\\tiny.ini", b"[a]\nb=1\n")]
for r, original, content in pairs:
    open(os.path.join(user, r), "wb").write(content)
    open(os.path.join(user, "$I" + r[2:]), "wb").write(info(original, len(content)))
open(os.path.join(user, "$RLONELY.bin"), "wb").write(b"no companion" * 100)
open(os.path.join(user, "desktop.ini"), "wb").write(b"[.ShellClassInfo]\n")
open(os.path.join(mnt, "notes.txt"), "wb").write(b"kept\n" * 1000)
open(os.path.join(mnt, "gone.txt"), "wb").write(b"deleted later\n" * 500)
os.sync()
os.remove(os.path.join(mnt, "gone.txt"))
# Hidden and system, as Windows marks the folder.
os.setxattr(os.path.join(mnt, "$RECYCLE.BIN"), "system.ntfs_attrib_be", struct.pack(">I", 0x16))
PY
umount "$tmp/mnt"
fls -r -p "$tmp/v.img" > "$here/ntfs-recycle.img.fls.txt"
zstd -19 -q -f "$tmp/v.img" -o "$here/ntfs-recycle.img.zst"
