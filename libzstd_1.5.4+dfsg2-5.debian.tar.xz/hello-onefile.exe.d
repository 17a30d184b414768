/work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/hello-onefile.exe: \
  /work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/app \
  /work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/app/data \
  /work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/app/hello.exe \
  /work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/app/data/greeting.txt
