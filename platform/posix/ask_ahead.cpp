#include "platform/posix/ask_ahead.h"

#include <linux/magic.h>

#include <algorithm>
#include <iterator>

namespace platform::posix {

// Local storage, whose device takes requests ahead of the reader's own:
// asked, whatever the device number says (overlay, btrfs and ZFS report an
// anonymous device). Not asked, as not listed: file systems whose requests
// travel to a server or a daemon (FUSE, NFS, SMB, 9p, Ceph), where on FUSE
// answering each request 1 ms late the requests ahead queued before the
// reader's own and made the run 15% slower; those held in memory (tmpfs,
// ramfs, proc, sysfs), where there is nothing to bring in; and any other.
bool WorthAskingAhead(std::uint32_t fileSystemType) {
    constexpr std::uint32_t kLocal[] = {
        EXT4_SUPER_MAGIC,  // ext2 and ext3 too
        XFS_SUPER_MAGIC, BTRFS_SUPER_MAGIC, OVERLAYFS_SUPER_MAGIC, F2FS_SUPER_MAGIC, REISERFS_SUPER_MAGIC,
        NILFS_SUPER_MAGIC, EXFAT_SUPER_MAGIC, MSDOS_SUPER_MAGIC, ISOFS_SUPER_MAGIC, UDF_SUPER_MAGIC,
        SQUASHFS_MAGIC, EROFS_SUPER_MAGIC_V1,
        0x3153464A,  // JFS
        0x2FC12FC1,  // ZFS
        0xCA451A4E,  // bcachefs
        0x5346544E,  // NTFS
        0x482B,      // HFS+
    };
    return std::find(std::begin(kLocal), std::end(kLocal), fileSystemType) != std::end(kLocal);
}

}  // namespace platform::posix
