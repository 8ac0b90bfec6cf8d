"""A read-only FUSE file system of one file, `file`, whose server answers
requests with EINTR, as a broken or hostile one may: the first OPENS opens
and the first READS reads of each open, -1 for every one of them.

    interrupting_fs.py MOUNTPOINT BACKING-FILE OPENS READS   # runs until unmounted
"""
import errno
import os
import stat
import sys

from fusepy import FUSE, FuseOSError, Operations


class InterruptingFile(Operations):
    def __init__(self, backing, opens, reads):
        self.fd = os.open(backing, os.O_RDONLY)
        self.size = os.fstat(self.fd).st_size
        self.opens, self.reads, self.left = opens, reads, {}

    def getattr(self, path, fh=None):
        if path == "/":
            return {"st_mode": stat.S_IFDIR | 0o755, "st_nlink": 2}
        if path == "/file":
            return {"st_mode": stat.S_IFREG | 0o444, "st_nlink": 1, "st_size": self.size}
        raise FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        return [".", "..", "file"]

    def open(self, path, flags):
        if self.opens != 0:
            self.opens -= 1
            raise FuseOSError(errno.EINTR)
        fh = max(self.left, default=0) + 1
        self.left[fh] = self.reads
        return fh

    def read(self, path, size, offset, fh):
        if self.left[fh] != 0:
            self.left[fh] -= 1
            raise FuseOSError(errno.EINTR)
        return os.pread(self.fd, size, offset)

    def release(self, path, fh):
        self.left.pop(fh, None)


if __name__ == "__main__":
    opens, reads = int(sys.argv[3]), int(sys.argv[4])
    # direct_io: each read reaches the server, and its answer the reader.
    FUSE(InterruptingFile(sys.argv[2], opens, reads), sys.argv[1], foreground=True, ro=True,
         nothreads=True, direct_io=True)
