\ The words a program sees. The rest of what the system defined goes into
\ the word list INTERNALS: ALSO INTERNALS makes it visible again.

vocabulary internals

: public  ( "names<eol>" -- )   \ marks the names that stay in FORTH
  begin parse-name dup while find-or-throw 8 + dup c@ $10 or swap c! repeat 2drop ;

\ CORE
public ! # #> #s ' ( * */ */mod + +! +loop , - . ." / /mod 0< 0= 1+ 1- 2! 2* 2/
public 2@ 2drop 2dup 2over 2swap : ; < <# = > >body >in >number >r ?dup @ abort
public abort" abs accept align aligned allot and base begin bl c! c, c@ cell+ cells
public char char+ chars constant count cr create decimal depth do does> drop dup
public else emit environment? evaluate execute exit fill find fm/mod here hold i if
public immediate invert j key leave literal loop lshift m* max min mod move negate
public or over postpone quit r> r@ recurse repeat rot rshift s" s>d sign sm/rem
public source space spaces state swap then type u. u< um* um/mod unloop until
public variable while word xor [ ['] [char] ]
\ CORE EXT
public .( .r 0<> 0> 2>r 2r> 2r@ :noname <> ?do action-of again buffer: c" case
public compile, defer defer! defer@ endcase endof erase false hex holds is marker
public nip of pad parse parse-name pick refill restore-input roll s\" save-input
public source-id to true tuck u.r u> unused value within [compile] \
\ DOUBLE, EXCEPTION, MEMORY-ALLOCATION
public 2constant 2literal 2variable d+ d- d. d.r d0< d0= d2* d2/ d< d= d>s dabs
public dmax dmin dnegate m*/ m+ 2rot 2value du< catch throw allocate free resize
\ FACILITY
public at-xy key? page +field begin-structure cfield: ekey ekey>char ekey>fkey
public ekey? emit? end-structure field: k-alt-mask k-ctrl-mask k-delete k-down
public k-end k-f1 k-f2 k-f3 k-f4 k-f5 k-f6 k-f7 k-f8 k-f9 k-f10 k-f11 k-f12 k-home
public k-insert k-left k-next k-prior k-right k-shift-mask k-up ms time&date
\ FILE-ACCESS
public bin close-file create-file delete-file file-position file-size include-file
public included open-file r/o r/w read-file read-line reposition-file resize-file
public w/o write-file write-line file-status flush-file include rename-file require
public required
\ BLOCK
public blk block buffer flush load save-buffers update empty-buffers list scr thru
\ LOCALS, SEARCH-ORDER, STRING
public (local) {: locals| definitions forth-wordlist get-current get-order search-wordlist
public set-current set-order wordlist also forth only order previous -trailing
public /string blank cmove cmove> compare search sliteral replaces substitute
public unescape
\ FLOATING
public >float d>f f! f* f+ f- f/ f0< f0= f< f>d f@ falign faligned fconstant fdepth
public fdrop fdup fliteral float+ floats floor fmax fmin fnegate fover frot fround
public fswap fvariable represent
\ FLOATING EXT
public df! df@ dfalign dfaligned dffield: dfloat+ dfloats f** f. f>s fabs facos
public facosh falog fasin fasinh fatan fatan2 fatanh fcos fcosh fe. fexp fexpm1
public ffield: fln flnp1 flog fs. fsin fsincos fsinh fsqrt ftan ftanh ftrunc fvalue
public f~ precision s>f set-precision sf! sf@ sfalign sfaligned sffield: sfloat+
public sfloats
\ PROGRAMMING-TOOLS
public .s ? dump see words ;code ahead assembler bye code cs-pick cs-roll editor
public forget n>r name>compile name>interpret name>string nr> synonym
public traverse-wordlist [defined] [else] [if] [then] [undefined]
\ This system's own: see the README
public cell -rot bounds place umin umax rdrop str= upc w@ w! @p c@p w@p arshift
public sp@ sp! rp@ rp! compile-only vocabulary internals at-xy? screen-size color!
public color@ ticks k-unknown save-system turnkey arguments break debug unbreak (bye)
public next-arg #!
public #pv #px #p0 #vx #r0 #rstack #s0 #stack #c/pb #pb #c/fb #fb #c/tib #tb
public #c/tob #hx #v0 find-name find-name-in open-blocks use warnings on off
public f.s fpick f= f<> f> f<= f>= f0> fnip

\ Each thread of FORTH is split in two, keeping the order of its names.
variable tail-public
variable tail-internal
: append  ( nt a-addr -- )  2dup @ ! ! ;   \ nt after the name a-addr holds, and held
: split   ( thread1 thread2 -- )
  tail-internal !  dup tail-public !  dup @ swap 0 swap !  0 tail-internal @ !
  begin ?dup while
    dup @ swap  0 over !
    dup name>flags $10 and if tail-public else tail-internal then append
  repeat ;
: hide-internals ( -- )
  ['] internals >body 8 + forth-wordlist 8 + 64 cells bounds do
    i over split cell+
  4 +loop drop ;
0 included-list !   \ the build's own files are not REQUIRE's business
here fence !        \ FORGET keeps what comes before
hide-internals
