<?xml version="1.0" encoding="UTF-8"?>
<!-- A reading style for the tests: headlines as links, descriptions as they came. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8"/>
  <xsl:template match="/">
    <html>
      <head><title>Reading</title></head>
      <body>
        <xsl:if test="groupnewspaper">
          <h1><xsl:value-of select="groupnewspaper/@title"/></h1>
        </xsl:if>
        <xsl:for-each select="*/channel">
          <h2><xsl:value-of select="title"/></h2>
          <xsl:for-each select="item">
            <h3><a href="{link}"><xsl:value-of select="title"/></a></h3>
            <div><xsl:value-of select="description" disable-output-escaping="yes"/></div>
          </xsl:for-each>
        </xsl:for-each>
      </body>
    </html>
  </xsl:template>
</xsl:stylesheet>
