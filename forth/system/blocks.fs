\ BLOCK and BLOCK EXT: blocks of 1024 bytes in a host file.
\
\ Block u is the 1024 bytes at position u * 1024 of the block file,
\ blocks.fb in the current directory unless OPEN-BLOCKS named another.
\ A block past the end of the file reads as spaces; writing one there
\ makes the file longer, the blocks in between spaces. The file is opened
\ at the first use (read-only if the host refuses writing), and made when
\ a block is first written. There are 8 buffers, in the heap, reassigned
\ least recently used first. Block 0 exists, but BLK 0 means "no block",
\ so LOAD and THRU refuse it.

1024 constant b/buf
8 constant #buffers
$400000 constant #blocks   \ blocks 0 to 2^22-1: their positions fit in a cell
variable scr

\ A buffer: the block it holds (-1 for none), whether it was UPDATEd,
\ when it was used last, then the 1024 bytes.
3 cells constant /buffer-head
/buffer-head b/buf + constant /buffer
: buffer-data ( buf -- a-addr )  /buffer-head + ;
: updated    ( buf -- a-addr )  cell+ ;
: last-use   ( buf -- a-addr )  2 cells + ;
: buffers    ( -- addr )   \ made the first time
  block-buffers @ ?dup if exit then
  #buffers /buffer * system-allocate dup 0= if -59 throw then
  dup #buffers /buffer * bounds do -1 i ! 0 i updated ! 0 i last-use ! /buffer +loop
  dup block-buffers ! ;
: buffer#    ( i -- buf )  /buffer * buffers + ;

\ The file
: blocks-file ( -- c-addr u )  block-name 2@ dup 0= if 2drop s" blocks.fb" then ;
: block-ior  ( ior -- )   \ throws a failed transfer, naming the file
  blocks-file rot file-throw ;
: block-file ( -- fileid | 0 )   \ 0 while there is no file
  block-fid @ ?dup if exit then
  blocks-file r/w open-file ?dup if
    nip dup 2 = if drop 0 exit then
    >r blocks-file r/o open-file if drop r> block-ior then rdrop
  then dup block-fid ! ;
: made-file  ( -- fileid ior )   \ the file, made if it is not there
  block-file ?dup if 0 exit then
  blocks-file r/w create-file dup 0= if over block-fid ! then ;
: at-block   ( u fileid -- ior )  >r b/buf um* r> reposition-file ;
: read-block ( u buf -- ior )   \ what the file has of it, the rest spaces
  buffer-data dup b/buf blank  block-file ?dup 0= if 2drop 0 exit then
  >r swap r@ at-block ?dup if rdrop nip exit then
  b/buf r> read-file nip ;
create blank-block  b/buf allot  blank-block b/buf blank
: pad-file   ( u fileid -- ior )   \ spaces up to block u
  >r b/buf um* r@ file-size ?dup if >r 2drop 2drop r> rdrop exit then
  2over 2over 2swap du< 0= if 2drop 2drop rdrop 0 exit then   ( ud-end ud-size )
  2dup r@ reposition-file ?dup if >r 2drop 2drop r> rdrop exit then
  d- drop
  begin dup while
    dup b/buf min blank-block over r@ write-file ?dup if nip nip rdrop exit then -
  repeat rdrop ;
: write-block ( buf -- ior )
  made-file ?dup if nip nip exit then  >r
  dup @ r@ pad-file ?dup if rdrop nip exit then
  dup @ r@ at-block ?dup if rdrop nip exit then
  buffer-data b/buf r> write-file ;
: save-buffer ( buf -- ior )   \ written if it was updated; it stays updated if that fails
  dup updated @ 0= if drop 0 exit then
  dup write-block ?dup if nip exit then  0 swap updated ! 0 ;

\ Buffers
: valid-block ( u -- u )  dup #blocks u< 0= if -35 throw then ;
: touch      ( buf -- buf )  1 block-uses +!  block-uses @ over last-use ! ;
: holding    ( u -- buf | 0 )   \ the buffer assigned to block u
  #buffers 0 do i buffer# 2dup @ = if nip unloop exit then drop loop drop 0 ;
: oldest     ( -- buf )   \ a buffer not assigned, or the one used least recently
  0 buffer#  #buffers 1 do
    i buffer# dup @ -1 = if nip leave then
    dup last-use @ 2 pick last-use @ u< if nip else drop then
  loop ;
: assign     ( u -- buf )   \ a buffer for block u; an UPDATEd block it held is written first
  oldest dup save-buffer block-ior  tuck !  0 over updated ! ;
: buffer     ( u -- a-addr )   \ a buffer newly assigned holds spaces
  valid-block dup holding ?dup if nip else assign dup buffer-data b/buf blank then
  touch dup block-current !  buffer-data ;
: (block)    ( u -- buf )
  valid-block dup holding ?dup if nip exit then
  dup assign  tuck read-block ?dup if -1 rot ! block-ior then ;
: block      ( u -- a-addr )  (block) touch dup block-current !  buffer-data ;
: update     ( -- )  block-current @ ?dup if true swap updated ! then ;
: save-buffers ( -- )   \ each updated buffer is tried; the first failure is thrown
  0 #buffers 0 do i buffer# save-buffer over 0= if nip else drop then loop block-ior ;
: empty-buffers ( -- )
  #buffers 0 do -1 i buffer# ! 0 i buffer# updated ! loop  0 block-current ! ;
: flush      ( -- )  save-buffers empty-buffers ;

\ Another block file: the buffers of this one are written and emptied
\ first.
: close-blocks ( -- )
  flush  block-fid @ ?dup if close-file drop then  0 block-fid !
  block-name 2@ drop system-free  0 0 block-name 2! ;
: open-blocks ( c-addr u -- )
  close-blocks heap-string over 0= if -59 throw then  block-name 2! ;
: use        ( "name" -- )  parse-name open-blocks ;

\ Interpreting blocks
: (block-source) ( u -- c-addr u )  (block) touch buffer-data b/buf ;
: (next-block) ( -- flag )   \ REFILL: the next block
  blk @ 1+ dup #blocks u< 0= if drop false exit then  blk !  0 >in !  true ;
' (block-source) is block-source
' (next-block) is next-block
: load       ( i*x u -- j*x )
  dup 0= if -35 throw then  valid-block
  push-input  blk !  -1 src-id !  0 >in !  0 0 src 2!  0 0 src-name 2!  0 line# !
  interpret  pop-input ;
: thru       ( i*x u1 u2 -- j*x )  1+ swap ?do i load loop ;
: list       ( u -- )
  dup scr !  dup block  cr ." Screen " swap u.
  16 0 do cr i 2 .r space  dup i 64 * + 64 type loop drop cr ;
