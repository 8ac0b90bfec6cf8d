"""A read-only FUSE file system of one file, `file`, whose every read request
is answered 1 ms late, one at a time: storage that is slow to answer (a
network volume) rather than slow to stream.

    slow_fs.py MOUNTPOINT BACKING-FILE     # runs until unmounted
"""
import errno
import os
import stat
import sys
import time

from fusepy import FUSE, FuseOSError, Operations


class SlowFile(Operations):
    def __init__(self, backing):
        self.fd = os.open(backing, os.O_RDONLY)
        self.size = os.fstat(self.fd).st_size

    def getattr(self, path, fh=None):
        if path == "/":
            return {"st_mode": stat.S_IFDIR | 0o755, "st_nlink": 2}
        if path == "/file":
            return {"st_mode": stat.S_IFREG | 0o444, "st_nlink": 1, "st_size": self.size}
        raise FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        return [".", "..", "file"]

    def read(self, path, size, offset, fh):
        time.sleep(0.001)
        return os.pread(self.fd, size, offset)


if __name__ == "__main__":
    # No keep_cache: each open starts from the storage, not the page cache.
    FUSE(SlowFile(sys.argv[2]), sys.argv[1], foreground=True, ro=True, nothreads=True)
