\ Floating-point benchmark: a Mandelbrot set and steps of an n-body
\ simulation, in portable Forth-2012 (FLOATING and FLOATING EXT), so that
\ any standard system runs it unchanged. MAIN prints the number of
\ Mandelbrot iterations and the bodies' energy before and after.

decimal

\ --- Mandelbrot: 300 x 300 points of [-2, 0.5] x [-1.25, 1.25], 100 iterations at most

variable iterations
: mandel-point ( F: cr ci -- ) ( -- n )
  0e 0e 0                                  ( F: cr ci zr zi )
  begin dup 100 < while
    fover fdup f* fover fdup f*            ( F: cr ci zr zi zr2 zi2 )
    fover fover f+ 4e f> if fdrop fdrop fdrop fdrop fdrop fdrop exit then
    f- 3 fpick f+                          ( F: cr ci zr zi zr' )
    frot frot f* 2e f* 2 fpick f+ fswap   ( F: cr ci zi' zr' )
    fswap 1+
  repeat fdrop fdrop fdrop fdrop ;
: mandelbrot ( -- )
  0 iterations !
  300 0 do 300 0 do
    i s>f 120e f/ 2e f-  j s>f 120e f/ 1.25e f-  mandel-point iterations +!
  loop loop ;

\ --- N-body: five bodies (the Sun and four planets), 20000 steps of 0.01 days

5 constant #bodies
3.141592653589793e 4e f* 3.141592653589793e f* fconstant solar-mass
365.24e fconstant days/year
create bodies  #bodies 7 * floats allot   \ x y z vx vy vz mass
: planet ( i -- f-addr )  7 * floats bodies + ;
: x  ( f-addr -- f-addr' ) ;
: y  ( f-addr -- f-addr' )  1 floats + ;
: z  ( f-addr -- f-addr' )  2 floats + ;
: vx ( f-addr -- f-addr' )  3 floats + ;
: vy ( f-addr -- f-addr' )  4 floats + ;
: vz ( f-addr -- f-addr' )  5 floats + ;
: mass ( f-addr -- f-addr' )  6 floats + ;
: planet! ( F: x y z vx vy vz m -- ) ( i -- )
  planet >r  solar-mass f* r@ mass f!
  days/year f* r@ vz f!  days/year f* r@ vy f!  days/year f* r@ vx f!
  r@ z f!  r@ y f!  r> x f! ;
: init-bodies ( -- )
  0e 0e 0e 0e 0e 0e 1e 0 planet!
  4.84143144246472090e+00 -1.16032004402742839e+00 -1.03622044471123109e-01
  1.66007664274403694e-03 7.69901118419740425e-03 -6.90460016972063023e-05
  9.54791938424326609e-04 1 planet!
  8.34336671824457987e+00 4.12479856412430479e+00 -4.03523417114321381e-01
  -2.76742510726862411e-03 4.99852801234917238e-03 2.30417297573763929e-05
  2.85885980666130812e-04 2 planet!
  1.28943695621391310e+01 -1.51111514016986312e+01 -2.23307578892655734e-01
  2.96460137564761618e-03 2.37847173959480950e-03 -2.96589568540237556e-05
  4.36624404335156298e-05 3 planet!
  1.53796971148509165e+01 -2.59193146099879641e+01 1.79258772950371181e-01
  2.68067772490389322e-03 1.62824170038242295e-03 -9.51592254519715870e-05
  5.15138902046611451e-05 4 planet! ;

fvariable dx  fvariable dy  fvariable dz  fvariable mag
: advance ( F: dt -- )
  #bodies 0 do
    #bodies i 1+ ?do
      j planet x f@ i planet x f@ f- dx f!
      j planet y f@ i planet y f@ f- dy f!
      j planet z f@ i planet z f@ f- dz f!
      dx f@ fdup f* dy f@ fdup f* f+ dz f@ fdup f* f+   ( F: dt d2 )
      fdup fsqrt f* fover fswap f/ mag f!
      j planet vx dup f@ dx f@ i planet mass f@ f* mag f@ f* f- f!
      j planet vy dup f@ dy f@ i planet mass f@ f* mag f@ f* f- f!
      j planet vz dup f@ dz f@ i planet mass f@ f* mag f@ f* f- f!
      i planet vx dup f@ dx f@ j planet mass f@ f* mag f@ f* f+ f!
      i planet vy dup f@ dy f@ j planet mass f@ f* mag f@ f* f+ f!
      i planet vz dup f@ dz f@ j planet mass f@ f* mag f@ f* f+ f!
    loop
  loop
  #bodies 0 do
    i planet x dup f@ fover i planet vx f@ f* f+ f!
    i planet y dup f@ fover i planet vy f@ f* f+ f!
    i planet z dup f@ fover i planet vz f@ f* f+ f!
  loop fdrop ;
: energy ( F: -- e )
  0e #bodies 0 do
    i planet vx f@ fdup f* i planet vy f@ fdup f* f+ i planet vz f@ fdup f* f+
    i planet mass f@ f* 0.5e f* f+
    #bodies i 1+ ?do
      j planet x f@ i planet x f@ f- fdup f*
      j planet y f@ i planet y f@ f- fdup f* f+
      j planet z f@ i planet z f@ f- fdup f* f+ fsqrt
      j planet mass f@ i planet mass f@ f* fswap f/ f-
    loop
  loop ;
: nbody ( -- )
  init-bodies energy
  20000 0 do 0.01e advance loop
  energy ;

: main ( -- )
  mandelbrot iterations @ .
  nbody fswap fs. fs. ;
