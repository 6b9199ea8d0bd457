\ The heap: ALLOCATE, FREE and RESIZE, and the system's own blocks (file
\ names, the lines of included files, interpreted strings, block buffers).
\
\ It lies from dlimit up to heap-top and grows down into free memory:
\ data space and the heap share what lies between here and heap-top. A
\ block is a multiple of 8 bytes, at least 16, 8-aligned:
\   +0  its size, with bit 0 set while it is in use, and bit 1 set while
\       the block below it is free
\   in use: +4 its entry in the table of blocks (-1 for the system's own
\       blocks), +8 the data
\   free:   +4 the next and +8 the previous block of its free list; the
\       last cell repeats the size, so the block above finds its start
\ Free blocks are never next to each other, and the lowest block is
\ never free: freeing it gives its room back to data space. Free blocks
\ are kept in 32 lists by size class (2^n to 2^(n+1)-1 bytes), so that
\ finding, taking and giving back a block takes a bounded number of steps
\ whatever the number of blocks.
\
\ The table of blocks is what makes FREE and RESIZE safe: an address is
\ taken only when the cell before the block's data names an entry of the
\ table that holds that very block. A stray address, or one already
\ freed, fails with an ior and changes nothing. The table is a directory
\ of chunks of 256 entries, themselves blocks of the heap; an entry not
\ in use holds the next such entry, times two, plus one.

: block-size  ( block -- u )  @ -8 and ;
: used?       ( block -- flag )  @ 1 and 0<> ;
: below-free? ( block -- flag )  @ 2 and 0<> ;
: in-heap?    ( addr -- flag )  heap-top @ u< ;
: below-free! ( flag block -- )   \ notes whether the block below it is free
  dup in-heap? 0= if 2drop exit then
  dup @ -3 and rot 2 and or swap ! ;
: room        ( u -- size )  15 + -8 and 16 max ;   \ a block for u bytes of data

\ Free lists
: size-class  ( u -- n )  0 swap begin 1 rshift dup while swap 1+ swap repeat drop ;
: free-list   ( u -- a-addr )  size-class cells free-lists + ;
: next-free   ( block -- a-addr )  cell+ ;
: prev-free   ( block -- a-addr )  2 cells + ;
: class-bit   ( u -- x )  1 swap size-class lshift ;
: link-free   ( block -- )   \ first in the list of its size
  dup block-size dup class-bit free-classes @ or free-classes !
  free-list  2dup @ swap next-free !  0 2 pick prev-free !
  dup @ ?dup if 2 pick swap prev-free ! then  ! ;
: unlink-free ( block -- )
  dup next-free @ over prev-free @   ( block next prev )
  ?dup if >r dup r> next-free ! else dup 2 pick block-size free-list ! then
  ?dup if over prev-free @ swap prev-free ! then
  block-size dup free-list @ if drop exit then
  class-bit invert free-classes @ and free-classes ! ;

\ [start, end) becomes free: merged with a free block above it, given
\ back to data space when it is the lowest.
: release     ( start end -- )
  dup in-heap? if dup used? 0= if dup unlink-free dup block-size + then then
  over dlimit @ = if false over below-free!  dlimit ! drop exit then
  true over below-free!
  over -  2dup swap !  2dup + cell - !  link-free ;

\ Finding room: the first block of the list of its class that is large
\ enough, among the first few; else the first block of a larger class.
8 CONSTANT #tries
: fit-in-class ( size -- block | 0 )
  dup free-list @  #tries 0 do
    dup 0= if leave then
    2dup block-size u> 0= if nip unloop exit then
    next-free @
  loop 2drop 0 ;
: larger-class ( size -- block | 0 )
  size-class 1+ dup 32 = if drop 0 exit then
  -1 swap lshift free-classes @ and  dup 0= if exit then
  dup negate and size-class cells free-lists + @ ;
: fit         ( size -- block | 0 )
  dup fit-in-class ?dup if nip exit then  larger-class ;
\ The block becomes size bytes in use; the rest, if big enough, is free.
: take        ( size block -- block )
  dup unlink-free
  2dup block-size swap - 16 u< if nip dup block-size swap then
  2dup + over dup block-size +                  ( size block rest end )
  2dup = if nip false swap below-free! else release then
  tuck swap 1 or swap ! ;
: grow        ( size -- block | 0 )   \ a new lowest block from free memory
  dup dlimit @ here - u> if drop 0 exit then
  dlimit @ over - dup dlimit !  tuck swap 1 or swap ! ;
: new-block   ( size -- block | 0 )  dup fit ?dup if take exit then grow ;

\ The system's own blocks
: system-allocate ( u -- a-addr | 0 )
  dup $7FFFFFF0 u> if drop 0 exit then
  room new-block dup if -1 over cell+ ! 2 cells + then ;
: give-back   ( block -- )   \ a block in use becomes free
  dup dup block-size +  over below-free? if
    swap dup cell - @ - dup unlink-free swap
  then release ;
: system-free ( a-addr -- )  ?dup if 2 cells - give-back then ;

\ The table of blocks
: table-entry ( i -- a-addr )  dup 8 rshift cells block-table @ + @  swap 255 and cells + ;
: table-init  ( -- )   \ an empty table: no directory until the first block
  0 block-table !  0 table-size !  0 table-used !  -1 table-free ! ;
: directory   ( -- flag )   \ made with room for as many blocks as the heap can hold
  block-table @ if true exit then
  heap-top @ data-start - 12 rshift 1+  dup cells system-allocate ?dup 0= if drop false exit then
  block-table !  table-size !  true ;
: new-chunk   ( i -- flag )   \ entry i starts a chunk
  8 rshift dup table-size @ u< 0= if drop false exit then
  1024 system-allocate ?dup 0= if drop false exit then
  swap cells block-table @ + !  true ;
: new-entry   ( -- i true | false )
  table-free @ dup 0< 0= if dup table-entry @ 2/ table-free ! true exit then drop
  directory 0= if false exit then
  table-used @ dup 255 and 0= if dup new-chunk 0= if drop false exit then then
  1 table-used +!  true ;
\ When the last block in use goes, so does the table, so that all the
\ memory comes back.
: drop-table  ( -- )
  table-used @ 255 + 8 rshift 0 ?do i cells block-table @ + @ system-free loop
  block-table @ system-free  table-init ;
: drop-entry  ( block -- )
  cell+ @ dup >r table-entry  table-free @ 2* 1+ swap !  r> table-free !
  -1 live-blocks +!  live-blocks @ 0= if drop-table then ;

\ The block in use whose data starts at a-addr, or 0.
: block-of    ( a-addr -- block | 0 )
  dup 7 and if drop 0 exit then
  dup dlimit @ 2 cells + heap-top @ within 0= if drop 0 exit then
  2 cells -  dup cell+ @  dup table-used @ u< 0= if 2drop 0 exit then
  table-entry @ over <> if drop 0 then ;

: heap-init   ( -- )   \ an empty heap
  heap-top @ dlimit !  free-lists 32 cells erase  0 free-classes !  table-init  0 live-blocks ! ;

: allocate    ( u -- a-addr ior )
  dup $7FFFFFF0 u> if drop 0 -59 exit then
  new-entry 0= if drop 0 -59 exit then  swap room new-block
  ?dup 0= if  table-free @ 2* 1+ over table-entry !  table-free !  0 -59 exit then
  tuck cell+ !  dup dup cell+ @ table-entry !  1 live-blocks +!  2 cells + 0 ;
: free        ( a-addr -- ior )
  block-of ?dup 0= if -60 exit then  dup drop-entry give-back 0 ;
\ RESIZE keeps the block where it can (it shrinks, or grows into a free
\ block above it); otherwise the data moves to a new block.
: shrink      ( block size -- )   \ to size, if the rest makes a block
  over block-size over - 16 u< if 2drop exit then
  over dup block-size + >r
  over @ 3 and over or 2 pick !  + r> release ;
: grow-into-next? ( block size -- flag )   \ the free block above takes it to size
  over dup block-size +  dup in-heap? 0= if drop 2drop false exit then
  dup used? if drop 2drop false exit then
  dup block-size 3 pick block-size +  rot u< if 2drop false exit then
  dup unlink-free  block-size over +!
  false over dup block-size + below-free!  drop true ;
: resize      ( a-addr1 u -- a-addr2 ior )
  dup $7FFFFFF0 u> if drop -61 exit then
  over block-of ?dup 0= if drop -61 exit then  over room
  2dup swap block-size u> 0= if shrink drop 0 exit then
  2dup grow-into-next? if shrink drop 0 exit then
  2drop  dup allocate if 2drop -61 exit then
  >r  over 2 cells - block-size 2 cells - min  over r@ rot move  free drop  r> 0 ;
