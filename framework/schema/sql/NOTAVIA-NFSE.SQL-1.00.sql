insert into MODULO (ID, MODULO) values (13, 'NOTAVIA NFSE');
create table NFSE_RPS (
  ID integer not null,
  LOT_NumeroLote varchar(20),
  LOT_CpfCnpjRemetente varchar(20),
  LOT_InscricaoMunicipalRemetente varchar(20),
  LOT_RazaoSocialRemetente varchar(100),
  LOT_CodigoCidadeRemetente varchar(20),
  RPS_NumeroRps varchar(18),
  RPS_DataEmissao varchar(20),
  RPS_CodigoItemListaServico varchar(100),
  RPS_CodigoSubItemListaServico varchar(100),
  RPS_CodigoTributacaoMunicipio varchar(100),
  RPS_DiscriminacaoServico blob sub_type text segment size 80,
  RPS_ValorServicos double precision,
  RPS_ValorPis double precision,
  RPS_ValorCofins double precision,
  RPS_ValorIr double precision,
  RPS_ValorCsll double precision,
  RPS_ValorIss double precision,
  RPS_ValorIssRetido double precision,
  RPS_AliquotaISS double precision,
  RPS_AliquotaPIS double precision,
  RPS_AliquotaCOFINS double precision,
  RPS_AliquotaIR double precision,
  RPS_AliquotaCSLL double precision,
  PRE_RazaoSocialPrestador varchar(100),
  PRE_CpfCnpjPrestador varchar(20),
  PRE_InscricaoMunicipalPrestador varchar(20),
  PRE_OptanteSimples char(1),
  PRE_CodigoCnae varchar(20),
  PRE_CodigoCidade varchar(20),
  PRE_Cidade varchar(100),
  PRE_RegimeEspecialTributacao varchar(20),
  PRE_DDDPrestador varchar(20),
  PRE_TelefonePrestador varchar(20),
  TOM_CpfCnpjTomador varchar(20),
  TOM_RazaoSocialTomador varchar(100),
  TOM_InscricaoMunicipalTomador varchar(20),
  TOM_InscricaoEstadualTomador varchar(20),
  TOM_EnderecoTomador varchar(100),
  TOM_NumeroTomador varchar(20),
  TOM_ComplementoTomador varchar(100),
  TOM_BairroTomador varchar(100),
  TOM_CodigoCidadeTomador varchar(20),
  TOM_DescricaoCidadeTomador varchar(100),
  TOM_UfTomador varchar(2),
  TOM_CepTomador varchar(20),
  TOM_EmailTomador varchar(128),
  TOM_TipoDocumentoTomador char(1),
  RET_PROTOCOLO_ASSINCRONO varchar(128),
  RET_FASE1_XML_GERADO char(1),
  RET_FASE2_XML_ASSINADO char(1),
  RET_FASE3_XML_ENVIADO char(1),
  RET_FASE4_RETORNO_NFSE char(1),
  RET_NFSE_DATA_EMISSAO date,
  RET_NFSE_NUMERO varchar(30),
  RET_NFSE_CODIGO_VERI varchar(30),
  RET_NFSE_DATA_CANCELAMENTO date,
  RET_NFSE_CHAVE_CANCELAMENTO varchar(128),
  RET_NFSE_XML blob sub_type text segment size 80,
  constraint PK_NFSE_RPS primary key (ID)
);
create generator GEN_NFSE_RPS_ID;
commit work;
set term ^ ;
create trigger TG_NFSE_RPS for NFSE_RPS
active before insert position 0
as
begin
  if (new.ID is null) then
    new.ID = gen_id(GEN_NFSE_RPS_ID, 1);
end^
set term ; ^
insert into VERSAO (ID, SCRIPT, NUMERO) values (13, 'NOTAVIA-NFSE.SQL', '1.00');
