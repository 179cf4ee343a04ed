package Calvoria::Extract::Text;

# Turns the chosen part of the tree into plain text, one paragraph a line, and
# drops a leading line that repeats the page's headline (the listener has
# already heard the title).

use v5.36;
use Calvoria::Extract::Measure;

sub set_of { return { map { $_ => 1 } @_ } }

# Elements that end a line before and after them.
my $LINE = set_of(keys %$Calvoria::Extract::Measure::BLOCK, qw(tr td th li dd dt
  option figcaption));

# Lines of text of the subtrees @roots, leaving out removed nodes.
sub lines ($doc, $dead, @roots) {
  my ($tag, $text, $end) = @$doc{qw(tag text end)};
  my $out = '';
  for my $root (@roots) {
    my @open;                  # ends of the line-breaking elements we are in
    my $pre_end = -1;          # inside <pre> up to this node
    my $last = $end->[$root];
    my $i = $root;
    while ($i <= $last) {
      while (@open && $open[-1] < $i) { pop @open; $out .= "\n" }
      if ($dead->[$i]) { $i = $end->[$i] + 1; next }
      my $t = $tag->[$i];
      if ($t eq '#text') {
        my $s = $text->[$i];
        if ($i <= $pre_end) { $s =~ s/\r\n?/\n/g } else { $s =~ tr/\t\n\r\f/ / }
        $out .= $s;
      } elsif ($t eq 'br' || $t eq 'hr') {
        $out .= "\n";
      } elsif ($LINE->{$t}) {
        $out .= "\n";
        push @open, $end->[$i];
        $pre_end = $end->[$i] if $t eq 'pre' && $end->[$i] > $pre_end;
      }
      $i++;
    }
    $out .= "\n" x (@open + 1);
  }
  # every kind of space becomes one ' '; then no line starts or ends with more
  # than one
  $out =~ tr/ \t\f\r\x{A0}\x{1680}\x{2000}-\x{200A}\x{202F}\x{205F}\x{3000}/ /s;
  $out =~ s/ ?\n ?/\n/g;
  $out =~ s/^ //;
  return grep { $_ ne '' && $_ ne ' ' } split /\n+/, $out;
}

# The lines as they are spoken: without the characters that only tell a
# browser where it may break a word (soft hyphens, zero-width spaces and
# joiners), without the raw shortcodes of publishing systems that a page left
# in its text ("[caption id=\"12\" align=\"left\"]", "[/caption]"), and
# without a line that says again what the line before it said, or the first
# words of another line (the copies of
# a caption in a gallery; a long paragraph said twice is the page's own
# doing, and so are labels of a word or two that repeat in a list).
sub tidy (@lines) {
  my (@out, @keys);
  my $before = '';
  for my $l (@lines) {
    $l =~ tr/\x{AD}\x{200B}\x{2060}\x{FEFF}//d;
    $l =~ s{\[/[a-z][\w-]*\]|\[[a-z][\w-]*(?:\s+[\w-]+=(?:"[^"\]]*"|'[^'\]]*'|[^\s\]]+))+\s*/?\]}{}g
      if index($l, '[') >= 0;
    $l =~ s/^\s+//;
    $l =~ s/\s+$//;
    next if $l eq '';
    my $s = squeeze($l);
    next if $s ne '' && $s eq $before && length($l) < 300 && ($l =~ tr/ //) >= 4;
    $before = $s;
    push @out, $l;
    push @keys, $s;
  }
  # a short line that breaks off where a longer one goes on is a cut copy of it
  # (the short caption of a gallery, a caption made of a paragraph's first words)
  # (a few long lines for each start, so that a page of many alike lines
  # cannot make this slow)
  my %long;
  for my $k (0 .. $#out) {
    next unless length($out[$k]) >= 60;
    my $set = $long{ substr($keys[$k], 0, 12) } //= {};
    $set->{ $keys[$k] } = 1 if keys %$set < 20;
  }
  return @out[ grep {
    my $k = $_;
    my $set = length($out[$k]) < 200 && ($out[$k] =~ tr/ //) >= 4 && $out[$k] =~ /\w$/
      ? $long{ substr($keys[$k], 0, 12) } : undef;
    !($set && grep { length($_) > length($keys[$k]) && index($_, $keys[$k]) == 0 } keys %$set);
  } 0 .. $#out ];
}

# Letters and digits of a line, in lower case, for comparing lines.
sub squeeze ($s) {
  $s = lc $s;
  $s =~ s/[\W_]++//g;
  return $s;
}

# The page's headline candidates: <title>, its social-media variants, <h1>s.
sub headlines ($doc) {
  my @h = ($doc->{title}, map { $doc->{meta}{$_} // () } qw(og:title twitter:title headline));
  my ($tag, $end) = @$doc{qw(tag end)};
  my $found = 0;
  for my $i (0 .. $#$tag) {
    next unless $tag->[$i] eq 'h1';
    push @h, join ' ', lines($doc, [], $i);
    last if ++$found == 3;
  }
  return grep { $_ ne '' } map { squeeze($_) } @h;
}

# True when a line is the headline, possibly with the site's name around it
# ("Headline - Example News") or cut short.
sub is_headline ($line, @headlines) {
  return 0 if length($line) > 1000;
  my $l = squeeze($line);
  return 0 if $l eq '';
  for my $h (@headlines) {
    return 1 if $l eq $h;
    return 1 if length($l) >= 0.5 * length($h) && index($h, $l) >= 0;
    return 1 if length($h) >= 0.8 * length($l) && index($l, $h) >= 0;
  }
  return 0;
}

# Removes the headline from the first lines of @$lines, unless it is all there is.
sub drop_headline ($lines, $doc) {
  return if @$lines < 2;
  my @h = headlines($doc);
  for my $k (0 .. 2) {
    last if $k > $#$lines;
    if (is_headline($lines->[$k], @h)) { splice @$lines, $k, 1; last }
  }
}

1;
