package Calvoria::Extract::Charset;

# Repairs a page that was decoded with the wrong character set. Servers often
# leave the charset out of the content type; the page then arrives decoded as
# ISO-8859-1, although it is usually UTF-8 (saying so in a <meta> tag) or
# windows-1252. Both cases are recognisable and undone here.

use v5.36;

# The charset named by a <meta> tag near the start of the page, lower case.
sub declared ($s) {
  my $head = substr($s, 0, 8192);
  while ($head =~ /<meta\b([^<>]*+)/gi) {
    my $tag = $1;
    return lc $1 if $tag =~ /\bcharset\s*+=\s*+["']?\s*+([A-Za-z0-9_.:-]++)/i;
  }
  return '';
}

# True when the characters of $s, taken as bytes, are valid UTF-8 (allowing
# for a sequence cut off at the end).
sub looks_utf8 ($s) {
  utf8::downgrade($s);
  $s =~ s/[\xC0-\xFF][\x80-\xBF]{0,2}\z//;
  return utf8::decode($s) ? 1 : 0;
}

# The page as the characters it was written in.
sub repair ($s) {
  $s =~ s/^\x{FEFF}//;
  return $s unless $s =~ /[\x80-\xFF]/ && $s !~ /[^\x00-\xFF]/;
  # Only characters up to U+00FF, some of them above ASCII: read as bytes.
  my $charset = declared($s);
  if (($charset eq '' || $charset =~ /^utf-?8$/) && looks_utf8(substr($s, 0, 65536))) {
    my $bytes = $s;
    utf8::downgrade($bytes);
    if (utf8::decode($bytes)) {
      $bytes =~ s/^\x{FEFF}//;
      return $bytes;
    }
  }
  # C1 control characters are never meant in a web page; they are the bytes of
  # windows-1252 punctuation (quotes, dashes) read as ISO-8859-1.
  # (0x81, 0x8D, 0x8F, 0x90 and 0x9D are unused in windows-1252 and stay)
  $s =~ tr/\x80\x82-\x8C\x8E\x91-\x9C\x9E\x9F/\x{20AC}\x{201A}\x{0192}\x{201E}\x{2026}\x{2020}\x{2021}\x{02C6}\x{2030}\x{0160}\x{2039}\x{0152}\x{017D}\x{2018}\x{2019}\x{201C}\x{201D}\x{2022}\x{2013}\x{2014}\x{02DC}\x{2122}\x{0161}\x{203A}\x{0153}\x{017E}\x{0178}/
    if $charset !~ /^(?:iso-?8859-(?:[2-9]|1\d)|koi8)/ && $s =~ /[\x80-\x9F]/;
  return $s;
}

1;
