package Calvoria::Extract::Entities;

# Character references: &#123; &#x7B; and the named ones (&amp; &eacute; ...).
# Follows the way browsers read them, because pages are written against browsers:
# a missing ';' is tolerated for the old names, numbers in the C1 range mean the
# windows-1252 characters, and invalid numbers give U+FFFD.

use v5.36;
use Calvoria::Extract::EntityTable;

my $NAMED  = \%Calvoria::Extract::EntityTable::NAMED;
my $LEGACY = \%Calvoria::Extract::EntityTable::LEGACY;

# windows-1252 characters for code points 0x80..0x9F (undef: no character there).
my @C1 = (
  0x20AC, undef,  0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, undef,  0x017D, undef,
  undef,  0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, undef,  0x017E, 0x0178,
);

# Text of a numeric reference; the digits are already known to be well formed.
sub numeric ($digits, $base) {
  $digits =~ s/^0+//;
  # more than 8 hex / 10 decimal digits is out of range anyway (and would overflow)
  return "\x{FFFD}" if length($digits) > ($base == 16 ? 8 : 10);
  my $cp = $digits eq '' ? 0 : $base == 16 ? hex($digits) : 0 + $digits;
  return "\x{FFFD}" if $cp == 0 || $cp > 0x10FFFF || ($cp >= 0xD800 && $cp <= 0xDFFF);
  return chr($C1[$cp - 0x80] // $cp) if $cp >= 0x80 && $cp <= 0x9F;
  return chr($cp);
}

# Text of a named reference "&$name$semi" (semi is ';' or ''), followed in the
# source by $next.  Inside attribute values an old name without ';' that runs on
# into letters, digits or '=' is left alone, as in "?a=1&copy=2".
sub named ($name, $semi, $next, $in_attr) {
  if ($semi eq ';') {
    my $v = $NAMED->{$name};
    return $v if defined $v;
  }
  # longest old-style name that is a prefix of what follows the '&'
  for (my $len = length($name) < 6 ? length($name) : 6; $len >= 2; $len--) {
    my $prefix = substr($name, 0, $len);
    next unless $LEGACY->{$prefix};
    my $rest = substr($name, $len) . $semi;
    if ($in_attr) {
      my $after = $rest ne '' ? substr($rest, 0, 1) : $next;
      return "&$name$semi" if $after =~ /^[A-Za-z0-9=]/;
    }
    return $NAMED->{$prefix} . $rest;
  }
  return "&$name$semi";
}

# Replaces every character reference in $s. $in_attr: $s is an attribute value.
sub decode ($s, $in_attr = 0) {
  return $s if index($s, '&') < 0;
  $s =~ s{&(?:\#[xX]([0-9A-Fa-f]++);?|\#([0-9]++);?|([A-Za-z][A-Za-z0-9]*+)(;?)(?=(.?)))}{
      defined $1 ? numeric($1, 16)
    : defined $2 ? numeric($2, 10)
    : named($3, $4, $5, $in_attr)
  }gse;
  return $s;
}

1;
