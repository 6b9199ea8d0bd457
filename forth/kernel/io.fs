\ The terminal, and numbers in text.

: emit   ( x -- )   1 ?depth (emit) throw ;
: key    ( -- char )  (key) throw ;
: key?   ( -- flag )  (key?) throw ;
: type   ( c-addr u -- )  2 ?depth bounds ?do i c@ (emit) throw loop ;
VARIABLE crlf   \ the output is a terminal, in raw mode: a line ends with CR LF
: cr     ( -- )  crlf @ if 13 emit then 10 emit ;
: space  ( -- )  bl emit ;
: spaces ( n -- )  1 ?depth 0 max 0 ?do space loop ;

\ ACCEPT: keys are echoed; backspace (8 or 127) takes one back; CR, or
\ LF from piped input, ends the line (a LF right after a CR is the rest of
\ that line end); Ctrl-D (4), also what the end of piped input gives,
\ leaves the system on an empty line and ends the line otherwise.
13 CONSTANT #cr
10 CONSTANT #lf
8  CONSTANT #bs
127 CONSTANT #del
4  CONSTANT #eot

: rubout  ( -- )  #bs emit space #bs emit ;

: accept-char ( c-addr n char -- c-addr n+1 )   \ echo and keep
  dup emit >r 2dup + r> swap c! 1+ ;

: accept-key ( c-addr n char -- c-addr n' flag )   \ flag: the line is done
  dup #cr = if drop true after-cr ! true exit then
  dup #lf = if drop after-cr @ over 0= and 0=  false after-cr ! exit then
  false after-cr !
  dup #bs = over #del = or if drop dup if 1- rubout then false exit then
  dup #eot = if drop dup 0= if bye then true exit then
  accept-char false ;

: (accept) ( c-addr +n1 -- +n2 )   \ plain: what ACCEPT does on piped input
  >r 0 begin dup r@ u< while key accept-key until then rdrop nip space ;
DEFER accept  ( c-addr +n1 -- +n2 )   \ the system's line editor on a terminal
' (accept) IS accept

\ Pictured numeric output, in the hold buffer.
: <#     ( -- )  hold-end hld ! ;
: hold   ( char -- )  hld @ 1- dup hold-start u< if -17 throw then dup hld ! c! ;
: holds  ( c-addr u -- )  begin dup while 1- 2dup + c@ hold repeat 2drop ;
: >digit ( u -- char )  dup 9 > if 7 + then [char] 0 + ;
: #      ( ud1 -- ud2 )  0 base @ um/mod >r base @ um/mod r> rot >digit hold ;
: #s     ( ud1 -- ud2 )  begin # 2dup or 0= until ;
: #>     ( xd -- c-addr u )  2drop hld @ hold-end over - ;
: sign   ( n -- )  0< if [char] - hold then ;

: (d.)   ( d -- c-addr u )  tuck dabs <# #s rot sign #> ;
: (.)    ( n -- c-addr u )  s>d (d.) ;
: (u.)   ( u -- c-addr u )  0 <# #s #> ;
: .      ( n -- )  1 ?depth (.) type space ;
: u.     ( u -- )  1 ?depth (u.) type space ;
: d.     ( d -- )  2 ?depth (d.) type space ;
: .r     ( n1 n2 -- )  2 ?depth >r (.) r> over - spaces type ;
: u.r    ( u n -- )  2 ?depth >r (u.) r> over - spaces type ;
