# Distributed under the OSI-approved BSD 3-Clause License.  See accompanying
# file Copyright.txt or https://cmake.org/licensing for details.

cmake_minimum_required(VERSION 3.5)

file(MAKE_DIRECTORY
  "/work/wt-oneway"
  "/work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/qarvel-pack-host"
  "/work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/qarvel_pack_host-prefix"
  "/work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/qarvel_pack_host-prefix/tmp"
  "/work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/qarvel_pack_host-prefix/src/qarvel_pack_host-stamp"
  "/work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/qarvel_pack_host-prefix/src"
  "/work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/qarvel_pack_host-prefix/src/qarvel_pack_host-stamp"
)

set(configSubDirs )
foreach(subDir IN LISTS configSubDirs)
    file(MAKE_DIRECTORY "/work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/qarvel_pack_host-prefix/src/qarvel_pack_host-stamp/${subDir}")
endforeach()
if(cfgdir)
  file(MAKE_DIRECTORY "/work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/qarvel_pack_host-prefix/src/qarvel_pack_host-stamp${cfgdir}") # cfgdir has leading slash
endif()
