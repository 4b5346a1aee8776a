// The default network, linked into the program as it is stored in nets/.
// QUOX_DEFAULT_NET (the file's path) comes from the build, which names it once.
    .section .rodata
    .balign 64
    .globl quox_embedded_net
    .type quox_embedded_net, @object
quox_embedded_net:
    .incbin QUOX_DEFAULT_NET
    .globl quox_embedded_net_end
quox_embedded_net_end:
    .size quox_embedded_net, quox_embedded_net_end - quox_embedded_net
    .section .note.GNU-stack,"",@progbits
