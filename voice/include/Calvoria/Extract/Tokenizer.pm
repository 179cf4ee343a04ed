package Calvoria::Extract::Tokenizer;

# Cuts HTML into tokens, tolerating whatever real pages contain: unclosed and
# unquoted attributes, stray '<', comments that never end, CDATA, doctypes.
#
# Every step is a \G-anchored match that consumes at least one character, and
# the quantifiers are possessive, so the work is linear in the page size even for
# hostile input (no backtracking, no recursion).
#
# next_token returns one token as a list:
#   (T_TEXT,  $text)                                  entities decoded
#   (T_START, $name, \%attrs, $self_closing, $raw)    $raw: content of raw text elements
#   (T_END,   $name)
# and the empty list at the end of the input. Comments, doctypes and
# processing instructions produce no token.
#
# The input is the page as UTF-8 bytes: Perl's matching and offsets are several
# times faster on byte strings than on character strings, and all of the markup
# is ASCII. What goes into the tokens is decoded back to characters.
# The content of raw text elements (script, style, title, ...) is read together
# with their start tag, and their end tag is consumed; so no T_END token follows.

use v5.36;
use Calvoria::Extract::Entities;

# (the host's module path holds only our own folder, so no 'use constant')
sub T_TEXT  :prototype() { 0 }
sub T_START :prototype() { 1 }
sub T_END   :prototype() { 2 }

# Content read as plain text up to the matching end tag: 1 = kept as is,
# 2 = character references decoded (RCDATA).
my %RAW = (
  script => 1, style => 1, xmp => 1, iframe => 1, noembed => 1, noframes => 1,
  noscript => 1, plaintext => 1, title => 2, textarea => 2,
);
my %END_OF_RAW = map { $_ => qr{</\Q$_\E(?=[\t\n\f\r />]|\z)}i } keys %RAW;

sub new ($class, $bytes_ref) {
  pos($$bytes_ref) = 0;
  return bless { src => $bytes_ref }, $class;
}

# Characters of a piece of the input, with character references replaced.
sub chars ($bytes, $in_attr = 0) {
  utf8::decode($bytes);
  return index($bytes, '&') < 0 ? $bytes : Calvoria::Extract::Entities::decode($bytes, $in_attr);
}

# Lower-cased name (only ASCII letters change, as in HTML).
sub name_of ($bytes) {
  $bytes =~ tr/A-Z/a-z/;
  utf8::decode($bytes);
  return $bytes;
}

# Attributes that anything after the tokenizer looks at; the others are skipped
# (decoding and storing every attribute of a page would take a third of the time).
my %KEPT = map { $_ => 1 } qw(class id style hidden aria-hidden role href itemprop
  property name content charset);

# The next token (see above). This runs for every token of the page, hence the
# inlined helpers.
sub next_token ($self) {
  my $r = $self->{src};
  while (1) {
    if ($$r =~ /\G([^<]++)/gc) {
      my $t = $1;
      utf8::decode($t);
      return (T_TEXT, index($t, '&') < 0 ? $t : Calvoria::Extract::Entities::decode($t));
    }
    if ($$r =~ /\G<([A-Za-z][^\t\n\f\r \/>]*+)/gc) {
      my $name = $1;
      $name =~ tr/A-Z/a-z/;
      utf8::decode($name);
      my %attrs;
      while ($$r =~ m{\G[\t\n\f\r /]*+([^\t\n\f\r />][^\t\n\f\r />=]*+)
                      (?:[\t\n\f\r ]*+=[\t\n\f\r ]*+(?:"([^"]*+)"?|'([^']*+)'?|([^\t\n\f\r >]++))?)?}gcx) {
        my $attr = $1;
        $attr =~ tr/A-Z/a-z/;
        next unless $KEPT{$attr} && !exists $attrs{$attr};
        $attrs{$attr} = chars($2 // $3 // $4 // '', 1);
      }
      # an unterminated tag at the end of the input is dropped, as browsers do
      return () unless $$r =~ m{\G[\t\n\f\r /]*+>}gc;
      my $self_closing = substr($$r, pos($$r) - 2, 1) eq '/' ? 1 : 0;
      return (T_START, $name, \%attrs, $self_closing, $RAW{$name} ? $self->_raw($name) : undef);
    }
    if ($$r =~ /\G<\/([A-Za-z][^\t\n\f\r \/>]*+)[^>]*+>?/gc) {
      return (T_END, name_of($1));
    }
    if ($$r =~ /\G<!--/gc) {
      $self->_skip_comment;
      next;
    }
    # doctype, CDATA, <?...>, </ followed by no letter: skipped up to the next '>'
    next if $$r =~ /\G<[!?\/][^>]*+>?/gc;
    return (T_TEXT, '<') if $$r =~ /\G</gc;
    return ();                                 # end of input
  }
}

# Comment after "<!--": up to "-->", or "<!-->" / "<!--->", or to the end.
sub _skip_comment ($self) {
  my $r = $self->{src};
  return if $$r =~ /\G-?>/gc;
  my $start = pos($$r);
  my $end = index($$r, '-->', $start);
  pos($$r) = $end < 0 ? length($$r) : $end + 3;
}

# Content of the raw text element $name, whose start tag was just read.
sub _raw ($self, $name) {
  my $raw = $name eq 'script' ? $self->_script_text
          : $name eq 'plaintext' ? $self->_rest
          : $self->_raw_text($END_OF_RAW{$name});
  return chars($raw) if $RAW{$name} == 2;
  utf8::decode($raw);
  return $raw;
}

sub _rest ($self) {
  my $r = $self->{src};
  my $text = substr($$r, pos($$r));
  pos($$r) = length($$r);
  return $text;
}

# Text up to the end tag matched by $end_re; the end tag itself is consumed.
sub _raw_text ($self, $end_re) {
  my $r = $self->{src};
  my $start = pos($$r);
  if ($$r =~ /$end_re/gc) {
    my $text = substr($$r, $start, $-[0] - $start);
    $$r =~ /\G[^>]*+>?/gc;
    return $text;
  }
  pos($$r) = $start;
  return $self->_rest;
}

# Script content. "<!--" inside a script hides a "<script>...</script>" pair from
# the end of the script, so the same escaping states as in browsers are tracked.
sub _script_text ($self) {
  my $r = $self->{src};
  my $start = pos($$r);
  my $state = 0;                               # 0 plain, 1 in <!--, 2 in <!-- <script>
  while ($$r =~ /(<!--|-->|<(\/?)script(?=[\t\n\f\r \/>]|\z))/gci) {
    my ($what, $slash) = ($1, $2);
    if ($what eq '<!--') {
      $state = 1 if $state == 0;
    } elsif ($what eq '-->') {
      $state = 0;
    } elsif (!$slash) {
      $state = 2 if $state == 1;
    } elsif ($state == 2) {
      $state = 1;
    } else {
      my $text = substr($$r, $start, $-[0] - $start);
      $$r =~ /\G[^>]*+>?/gc;
      return $text;
    }
  }
  pos($$r) = $start;
  return $self->_rest;
}

1;
