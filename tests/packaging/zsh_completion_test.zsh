#!/usr/bin/env zsh
# The zsh completion of unlha32, run as a user runs it: an interactive zsh on
# a pseudo-terminal, a line typed and completed, on a folder with an archive
# holding names with blanks and brackets. Each completion's candidates and
# the line it leaves are caught; the rows below say what must be there.
# Usage: zsh_completion_test.zsh COMPLETION_SCRIPT UNLHA32
emulate -L zsh
zmodload zsh/zpty || { print "SKIP: no zsh/zpty"; exit 77 }
fpath_dir=$(mktemp -d) work=$(mktemp -d) out=$(mktemp) init=$(mktemp)
trap 'rm -rf $fpath_dir $work $out $init' EXIT
cp $1 $fpath_dir/_unlha32
path=(${2:A:h} $path)
cd $work
mkdir -p 's p' d/sub out
print one > 's p/a b.txt'
print two > d/a.txt
print three > d/sub/c.txt
print four > 'd/b[1].txt'
print seven > ./-c1
unlha32 a -q -r2 -x1 pack.lzh 's p' d -- -c1 || exit 1
print plain > notes.txt
cp pack.lzh first.LZH.001
cp pack.lzh 'b[1].lzh'
unlha32 a -q b1.lzh notes.txt || exit 1
mkfifo fifo.lzh
# Names that are code to a shell that takes them for patterns.
print > 'g*(e:touch PWNED:)'
mkdir 'f*(e:touch PWNED:)'
print eight > 'f*(e:touch PWNED:)/in.txt'

# Every candidate the completion offers goes to $out, then the line as it stands.
cat > $init <<INIT
PS1=''
fpath=($fpath_dir \$fpath)
autoload -Uz compinit && compinit -u -D
compadd() { local -a hits; builtin compadd -O hits "\$@"; print -rl -- "\${hits[@]}" >> $out; builtin compadd "\$@"; }
caught() { zle complete-word; print -r -- "=\$BUFFER" >> $out; print -r -- '<done>' >> $out; }
zle -N caught
bindkey '^T' caught
INIT

complete_line() {
  : > $out
  zpty -b z zsh -f -i
  zpty -w z "source $init"
  zpty -w -n z "$1"$'\x14'
  repeat 200; do
    grep -qx '<done>' $out && break
    sleep 0.05
  done
  zpty -d z
}

integer failures=0
# Each row: the line typed, " => ", then either "=LINE", the line the
# completion leaves, or the candidates it must offer, " | " between them.
while IFS= read -r row; do
  [[ -z $row ]] && continue
  complete_line ${row%% => *}
  for want in ${(s: | :)${row#* => }}; do
    grep -qxF -- $want $out && continue
    print -r -- "FAIL: [${row%% => *}] did not give [$want]; it gave: ${(j:, :)${(f)$(grep -vx '<done>' $out)}}"
    (( failures++ ))
  done
done <<'ROWS'
unlha32  => a | x | --help | --version
unlha32 x -jm => -jm5 | -jm6 | -jm7
unlha32 a --thr => =unlha32 a --threads=
unlha32 a --threads= => 1
unlha32 a --threads  => 1
unlha32 l pa => =unlha32 l pack.lzh 
unlha32 t -q f => first.LZH.001
unlha32 a pack.lzh n => =unlha32 a pack.lzh notes.txt 
unlha32 a pack.lzh s\ p/ a => =unlha32 a pack.lzh s\ p/ a\ b.txt 
unlha32 x pack.lzh s\ p/ => =unlha32 x pack.lzh s\ p/a\ b.txt 
unlha32 t pack.lzh d/b => =unlha32 t pack.lzh d/b\\\[1\\\].txt 
unlha32 t pack.lzh d/s => =unlha32 t pack.lzh d/sub/
unlha32 X -c1 --threads 2 -- pack.lzh d/a => =unlha32 X -c1 --threads 2 -- pack.lzh d/a.txt 
unlha32 e pack.lzh o => =unlha32 e pack.lzh out/
unlha32 t pack.lzh ./- => =unlha32 t pack.lzh ./-c1 
unlha32 t b\[1\].lzh d/a => =unlha32 t b\[1\].lzh d/a.txt 
unlha32 t g\*\(e:touch\ PWNED:\) d => =unlha32 t g\*\(e:touch\ PWNED:\) d
unlha32 a new.lzh f\*\(e:touch\ PWNED:\)/ i => =unlha32 a new.lzh f\*\(e:touch\ PWNED:\)/ in.txt 
unlha32 t fifo.lzh d => =unlha32 t fifo.lzh d
ROWS
[[ ! -e PWNED ]] || { print "FAIL: a name was run as code"; (( failures++ )) }
(( failures == 0 ))
