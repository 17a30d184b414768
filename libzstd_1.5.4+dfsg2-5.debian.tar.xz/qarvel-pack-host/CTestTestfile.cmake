# CMake generated Testfile for 
# Source directory: /work/wt-oneway
# Build directory: /work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/qarvel-pack-host
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
subdirs("packer")
