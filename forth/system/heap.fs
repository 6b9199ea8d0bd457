\ MEMORY-ALLOCATION: ALLOCATE, FREE and RESIZE over a heap in variable
\ memory, between the end of data space (dlimit) and heap-top.
\
\ Blocks lie end to end from dlimit up to heap-top. Each starts with a
\ cell holding its size in bytes, that cell included, with bit 0 set while
\ the block is in use. The lowest block is always in use: freeing it gives
\ its room back to data space. FREE and RESIZE take only addresses that a
\ walk over the blocks finds, so a stray or freed address gets an ior and
\ the heap stays as it was.

variable heap-top   \ set when the system starts; the heap is never saved
: heap-init  ( -- )  dlimit @ heap-top ! ;

: block-size ( block -- u )  @ -2 and ;
: used?      ( block -- flag )  @ 1 and 0<> ;
: next-block ( block -- block' )  dup block-size + ;
: in-heap?   ( block -- flag )  heap-top @ u< ;
: sane?      ( block -- flag )   \ a size that keeps the walk inside the heap
  dup block-size dup 8 u< over 3 and or if 2drop false exit then
  + heap-top @ swap u< 0= ;
: room       ( u -- size )  cell+ aligned 8 max ;
: too-big?   ( u -- flag )  $7FFFFFF0 u> ;

\ The block whose data starts at a-addr, and the one before it (or 0).
: find-block ( a-addr -- prev block true | false )
  0 dlimit @ begin dup in-heap? while
    dup sane? 0= if 2drop drop false exit then
    dup cell+ 3 pick = if rot drop true exit then
    nip dup next-block
  repeat 2drop drop false ;

\ The first free block of at least size bytes.
: first-fit  ( size -- block | 0 )
  dlimit @ begin dup in-heap? while
    dup sane? 0= if 2drop 0 exit then
    dup used? 0= if 2dup block-size u> 0= if nip exit then then
    next-block
  repeat 2drop 0 ;
\ The block becomes size bytes in use; the rest, if big enough, a free block.
: take       ( size block -- )
  2dup block-size swap - dup 8 u< if drop nip dup block-size else
    >r 2dup + r> swap !  swap then
  1 or swap ! ;
\ A new lowest block, taken from data space.
: grow       ( size -- block | 0 )
  dup dlimit @ here - u> if drop 0 exit then
  dlimit @ over - dup dlimit !  tuck swap 1 or swap ! ;
\ A block takes in the free block after it.
: absorb-next ( block -- block )
  dup next-block dup in-heap? if dup used? 0= if block-size over +! exit then then drop ;
: absorb-into ( prev block -- block' )   \ a free block before it takes it in
  over if over used? 0= if block-size over +! exit then then nip ;
: release-lowest ( block -- )  dup dlimit @ = if block-size dlimit +! else drop then ;

: allocate   ( u -- a-addr ior )
  dup too-big? if drop 0 -59 exit then
  room dup first-fit ?dup if tuck take else grow dup 0= if -59 exit then then
  cell+ 0 ;
: free       ( a-addr -- ior )
  find-block 0= if -60 exit then
  dup used? 0= if 2drop -60 exit then
  dup block-size over !  absorb-next absorb-into release-lowest 0 ;
: resize     ( a-addr1 u -- a-addr2 ior )
  dup too-big? if drop -61 exit then
  over find-block 0= if drop -61 exit then nip
  dup used? 0= if 2drop -61 exit then
  absorb-next over room                        ( a u block size )
  2dup swap block-size u> 0= if swap take drop 0 exit then
  2drop dup allocate ?dup if 2drop drop -61 exit then
  >r over cell - block-size cell - min over r@ rot move free drop r> 0 ;
