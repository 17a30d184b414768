// The files of embedded_files.h, included byte for byte; the build fills in
// their paths. An empty image path leaves the image empty.
#define EMBED(name, path)                                                      \
    .globl name; .globl name##_size;                                           \
    .balign 16; name: .incbin path; name##_end:                               \
    .balign 8; name##_size: .quad name##_end - name

#if defined(_WIN32)
    .section .rdata,"dr"
#else
    .section .rodata
#endif
    EMBED(qarvel_manifest_template, "/work/wt-oneway/resources/launcher.manifest.in")
    EMBED(qarvel_default_icon, "/work/wt-oneway/resources/qarvel.ico")
#if 1
    EMBED(qarvel_launcher_image, "/work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/launcher-image/qarvel-launcher-image.exe")
    EMBED(qarvel_licence_notices, "/work/wt-oneway/libzstd_1.5.4+dfsg2-5.debian.tar.xz/launcher-image/licence-notices.txt")
#else
    .globl qarvel_launcher_image; .globl qarvel_launcher_image_size
qarvel_launcher_image:
    .balign 8; qarvel_launcher_image_size: .quad 0
    .globl qarvel_licence_notices; .globl qarvel_licence_notices_size
qarvel_licence_notices:
    .balign 8; qarvel_licence_notices_size: .quad 0
#endif
#if defined(__ELF__)
    .section .note.GNU-stack,"",@progbits
#endif
